#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"

namespace zl::pagetext {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = fs::path(ZORLED_TEST_DATA) / "pagetext";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool UpdateGoldens() {
    const char* flag = std::getenv("ZORLED_UPDATE_GOLDENS");
    return flag && std::string(flag) == "1";
}

// The first line that differs, both versions shown with their line ends made visible.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    const auto visible = [](std::string_view line) {
        std::string out;
        for (char c : line) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
        return out;
    };
    std::size_t line = 1, start = 0;
    for (std::size_t i = 0;; ++i) {
        const bool endExpected = i >= expected.size(), endActual = i >= actual.size();
        if (endExpected || endActual || expected[i] != actual[i]) {
            const auto lineOf = [&](const std::string& text) {
                if (start >= text.size()) return std::string("<end of text>");
                const std::size_t end = text.find('\n', start);
                return visible(std::string_view(text).substr(start, end == std::string::npos ? end : end - start + 1));
            };
            return "line " + std::to_string(line) + "\n  expected: " + lineOf(expected) +
                   "\n  actual:   " + lineOf(actual);
        }
        if (expected[i] == '\n') {
            ++line;
            start = i + 1;
        }
    }
}

// Compares with the golden file; ZORLED_UPDATE_GOLDENS=1 rewrites it instead.
void ExpectGolden(const fs::path& path, const std::string& actual) {
    const std::string expected = ReadBytes(path);
    if (expected == actual) return;
    if (UpdateGoldens()) {
        std::ofstream(path, std::ios::binary) << actual;
        std::cout << "rewrote " << path << '\n';
        return;
    }
    ADD_FAILURE() << path.filename() << " differs at " << FirstDifference(expected, actual);
}

TEST(PageTextGolden, EveryFileWritesBackByteForByte) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kFolder)) {
        if (entry.path().extension() != ".dfm") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string text = ReadBytes(entry.path());
        try {
            ExpectGolden(entry.path(), Write(Parse(text)));
        } catch (const Error& e) {
            ADD_FAILURE() << e.what();
        }
        ++files;
    }
    EXPECT_GE(files, 4);
}

// A page built from values, as the typed layer will build one: numbers formatted by the writer.
TEST(PageTextGolden, TreeBuiltFromValues) {
    Object page;
    page.name = "LedDesignWin";
    page.className = "TFrmZorLedForm";
    page.properties = {
        {"Left", Value::Integer(200)},
        {"Top", Value::Integer(-11)},
        {"Caption", Value::String(u"led\u6EDA\u52A8\u6587\u5B57")},
        {"Color", Value::Ident("clBtnFace")},
        {"Font.Style", Value::Set({"fsBold", "fsUnderline"})},
        {"Ratio", Value::Float(1.5L)},
        {"Third", Value::Float(1.0L / 3)},
        {"Huge", Value::Float(1e20L)},
        {"Opacity", Value::Float(0.1L, FloatKind::Single)},
        {"Price", Value::Float(1.5L, FloatKind::Currency)},
        {"Started", Value::Float(38000.5L, FloatKind::DateTime)},
        {"Tiny", Value::Float(0.00001L, FloatKind::DateTime)},
        {"Story", Value::String(std::u16string(40, u'\u4E2D') + u"'quoted'\r\n" + std::u16string(30, u'x'))},
    };
    ListValue lines;
    lines.items = {Value::String(u"first"), Value::String(u"")};
    page.properties.push_back({"Text.Lines.Strings", std::move(lines)});
    std::vector<std::uint8_t> bytes(70);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 3);
    page.properties.push_back({"Picture.Data", Value::Binary(bytes)});
    Object label;
    label.name = "mylabel1";
    label.className = "Tzorledlabel";
    CollectionValue labels;
    CollectionItem item;
    item.properties = {{"Name", Value::String(u"Center")}};
    labels.items.push_back(item);
    labels.items.push_back({});
    label.properties = {{"Labels", std::move(labels)}};
    page.children.push_back(std::move(label));

    ExpectGolden(kFolder / "built_from_values.dfm", Write(page));
}

}  // namespace
}  // namespace zl::pagetext
