#include "plugins/pluginload.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

#include "core/codepage.h"
#include "core/props/propinfo.h"
#include "plugins/dllloadexec.h"
#include "plugins/sdk/zorled_plugin.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

bool EndsWithIgnoreCase(const std::string& name, std::string_view suffix) {
    return name.size() > suffix.size() && EqualsIgnoreCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

bool IsPluginName(const std::string& name) {
    return !name.empty() && name[0] != '.' &&
           (EndsWithIgnoreCase(name, ".dll") || (name.size() > 3 && name.ends_with(".so")));
}

}  // namespace

void ScanPlugins(const std::filesystem::path& folder, StringList& list) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code fileError;
        if (!IsPluginName(name) || !it->is_regular_file(fileError)) continue;
        // A name GBK cannot hold could not be found again by it.
        const std::string gbk = Utf8ToGbk(name);
        if (GbkToUtf8(gbk) != name) continue;
        names.push_back(gbk);
    }
    // The file system gives no order on Linux; name order keeps menu names stable.
    std::sort(names.begin(), names.end());
    list.insert(list.end(), names.begin(), names.end());
}

std::string TakeSlotText(char*& slot) {
    if (!slot) return {};
    auto* header = reinterpret_cast<zorled_text_header*>(slot) - 1;
    std::string text(slot, static_cast<size_t>(std::max<std::int32_t>(header->length, 0)));
    if (header->refcount != ZORLED_TEXT_CONSTANT && --header->refcount == 0) zorled_mm_free(header);
    slot = nullptr;
    return text;
}

std::string DescribePluginOf(const std::string& fileName) {
    LoadedLibrary library(LoadLibraryFile(fileName));
    auto* describe = reinterpret_cast<void (*)(char**)>(FindExport(library.get(), "DescribePlugin"));
    if (!describe) return {};
    char* slot = nullptr;
    describe(&slot);
    // Taken before the library goes: a constant text lives in the library's own memory.
    return TakeSlotText(slot);
}

void BuildPluginMenu(QMenu& parent, const StringList& list, const std::function<void(int tag)>& onClick) {
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string description = DescribePluginOf(list[i]);
        if (description.empty()) continue;
        auto* item = new QAction(Q(description), &parent);
        item->setObjectName(QStringLiteral("Zorpluginitem%1").arg(i + 1));
        item->setData(static_cast<int>(i));
        const int tag = static_cast<int>(i);
        QObject::connect(item, &QAction::triggered, &parent, [onClick, tag] { onClick(tag); });
        parent.addAction(item);
    }
}

void RunPlugin(const std::string& fileName) {
    LoadedLibrary library(LoadLibraryFile(fileName));
    if (auto* exec = reinterpret_cast<void (*)()>(FindExport(library.get(), "PluginExec"))) exec();
}

}  // namespace zl
