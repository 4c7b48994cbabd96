#include "output/ledoutputconfig.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/home.h"
#include "core/inifile.h"

namespace zl {
namespace {

constexpr const char* kFileName = "ledoutput.ini";

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

template <typename Enum, size_t N>
std::optional<Enum> Lookup(const std::array<std::string_view, N>& names, std::string_view value) {
    for (size_t i = 0; i < N; ++i)
        if (Lower(names[i]) == Lower(value)) return static_cast<Enum>(i);
    return std::nullopt;
}

constexpr std::array<std::string_view, 2> kProtocols{"ddp", "e131"};
constexpr std::array<std::string_view, 4> kStarts{"topleft", "topright", "bottomleft", "bottomright"};
constexpr std::array<std::string_view, 2> kLines{"rows", "columns"};
constexpr std::array<std::string_view, 6> kColorOrders{"RGB", "RBG", "GRB", "GBR", "BRG", "BGR"};

std::optional<int> ReadInt(std::string_view s, int low, int high) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < low || v > high) return std::nullopt;
    return v;
}

std::optional<bool> ReadBool(std::string_view s) {
    const std::string v = Lower(s);
    if (v == "true" || v == "1" || v == "yes" || v == "on") return true;
    if (v == "false" || v == "0" || v == "no" || v == "off") return false;
    return std::nullopt;
}

std::optional<double> ReadGamma(std::string_view s) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !(v >= 0.1 && v <= 10.0)) return std::nullopt;
    return v;
}

// Reads one output section; false when a value could not be read.
bool ReadOutput(const IniSection& section, LedOutputConfig& out, std::vector<std::string>& problems) {
    bool ok = true;
    std::optional<int> port;
    auto bad = [&](const IniEntry& e, const char* expected) {
        problems.push_back(std::string(kFileName) + " [" + section.name + "] " + e.key + ": 无法读取 \"" + e.value +
                           "\"（应为" + expected + "），此输出不发送");
        ok = false;
    };
    for (const IniEntry& e : section.entries) {
        const std::string key = Lower(e.key);
        const std::string_view v = e.value;
        auto integer = [&](int& field, int low, int high, const char* expected) {
            if (auto n = ReadInt(v, low, high)) field = *n; else bad(e, expected);
        };
        if (key == "protocol") {
            if (auto p = Lookup<LedProtocol>(kProtocols, v)) out.protocol = *p; else bad(e, " ddp 或 e131");
        } else if (key == "host") {
            out.host = e.value;
        } else if (key == "port") {
            if (auto n = ReadInt(v, 1, 65535)) port = n; else bad(e, " 1 到 65535 的端口号");
        } else if (key == "universe") {
            integer(out.universe, 1, kE131LastUniverse, " 1 到 63999 的整数");
        } else if (key == "x") {
            integer(out.x, 0, 32767, " 0 到 32767 的整数");
        } else if (key == "y") {
            integer(out.y, 0, 32767, " 0 到 32767 的整数");
        } else if (key == "width") {
            integer(out.width, 1, kMaxOutputSide, " 1 到 4096 的整数");
        } else if (key == "height") {
            integer(out.height, 1, kMaxOutputSide, " 1 到 4096 的整数");
        } else if (key == "start") {
            if (auto s = Lookup<PanelStart>(kStarts, v)) out.start = *s;
            else bad(e, " topleft、topright、bottomleft 或 bottomright");
        } else if (key == "lines") {
            if (auto l = Lookup<int>(kLines, v)) out.columns = *l == 1; else bad(e, " rows 或 columns");
        } else if (key == "serpentine") {
            if (auto b = ReadBool(v)) out.serpentine = *b; else bad(e, " true 或 false");
        } else if (key == "colors") {
            if (auto c = Lookup<ColorOrder>(kColorOrders, v)) out.colors = *c;
            else bad(e, " RGB、RBG、GRB、GBR、BRG 或 BGR");
        } else if (key == "brightness") {
            integer(out.brightness, 0, 100, " 0 到 100 的整数");
        } else if (key == "gamma") {
            if (auto g = ReadGamma(v)) out.gamma = *g; else bad(e, " 0.1 到 10 的数");
        } else if (key == "ttl") {
            integer(out.ttl, 1, 255, " 1 到 255 的整数");
        } else if (key == "interface") {
            out.interface = e.value;
        } else if (key == "rate") {
            integer(out.rate, 1, kMaxFrameRate, " 1 到 120 的每秒帧数");
        } else {
            problems.push_back(std::string(kFileName) + " [" + section.name + "] " + e.key + ": 未知的键，已忽略");
        }
    }
    out.port = port ? *port : (out.protocol == LedProtocol::Ddp ? kDdpDefaultPort : kE131DefaultPort);
    if (!ok) return false;
    if (out.protocol == LedProtocol::Ddp && out.host.empty()) {
        problems.push_back(std::string(kFileName) + " [" + section.name + "] host: ddp 需要控制器的地址，此输出不发送");
        return false;
    }
    if (out.protocol == LedProtocol::E131) {
        const long long universes = (static_cast<long long>(out.PixelCount()) + 169) / 170;
        if (out.universe + universes - 1 > kE131LastUniverse) {
            problems.push_back(std::string(kFileName) + " [" + section.name + "] universe: 从 " +
                               std::to_string(out.universe) + " 起放不下 " + std::to_string(universes) +
                               " 个 universe（最大 63999），此输出不发送");
            return false;
        }
    }
    return true;
}

bool IsOutputSection(const std::string& name) {
    const std::string n = Lower(name);
    return n.size() > 6 && n.compare(0, 6, "output") == 0 &&
           n.find_first_not_of("0123456789", 6) == std::string::npos;
}

std::string GammaText(double g) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, g);
    std::string s(buf, end);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

}  // namespace

std::string_view ProtocolName(LedProtocol p) { return kProtocols[static_cast<int>(p)]; }
std::string_view StartName(PanelStart s) { return kStarts[static_cast<int>(s)]; }
std::string_view ColorOrderName(ColorOrder c) { return kColorOrders[static_cast<int>(c)]; }

std::string Describe(const LedOutputConfig& o) {
    std::string where = o.Multicast() ? "multicast" : o.host;
    return o.section + " " + std::string(ProtocolName(o.protocol)) + " " + where + ":" + std::to_string(o.port);
}

LedOutputSettings ParseLedOutputs(std::string_view text) {
    LedOutputSettings result;
    const IniText ini = ParseIni(text);
    for (const std::string& line : ini.badLines)
        result.problems.push_back(std::string(kFileName) + " " + line + ": 无法读取，已忽略");
    for (const IniSection& section : ini.sections) {
        if (!IsOutputSection(section.name)) {
            result.problems.push_back(std::string(kFileName) + " [" + section.name +
                                      "]: 不是输出节（应为 output1、output2 …），已忽略");
            continue;
        }
        LedOutputConfig output;
        output.section = section.name;
        if (ReadOutput(section, output, result.problems)) result.outputs.push_back(std::move(output));
    }
    return result;
}

std::string FormatLedOutputs(const std::vector<LedOutputConfig>& outputs) {
    std::string s;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const LedOutputConfig& o = outputs[i];
        if (i) s += "\n";
        s += "[output" + std::to_string(i + 1) + "]\n";
        s += "protocol=" + std::string(ProtocolName(o.protocol)) + "\n";
        s += "host=" + o.host + "\n";
        s += "port=" + std::to_string(o.port) + "\n";
        s += "universe=" + std::to_string(o.universe) + "\n";
        s += "x=" + std::to_string(o.x) + "\n";
        s += "y=" + std::to_string(o.y) + "\n";
        s += "width=" + std::to_string(o.width) + "\n";
        s += "height=" + std::to_string(o.height) + "\n";
        s += "start=" + std::string(StartName(o.start)) + "\n";
        s += std::string("lines=") + (o.columns ? "columns" : "rows") + "\n";
        s += std::string("serpentine=") + (o.serpentine ? "true" : "false") + "\n";
        s += "colors=" + std::string(ColorOrderName(o.colors)) + "\n";
        s += "brightness=" + std::to_string(o.brightness) + "\n";
        s += "gamma=" + GammaText(o.gamma) + "\n";
        s += "ttl=" + std::to_string(o.ttl) + "\n";
        s += "interface=" + o.interface + "\n";
        s += "rate=" + std::to_string(o.rate) + "\n";
    }
    return s;
}

std::filesystem::path LedOutputFilePath() { return ProgramHome() / kFileName; }

LedOutputSettings LoadLedOutputs() {
    const auto path = LedOutputFilePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    try {
        return ParseLedOutputs(ReadWholeFile(path));
    } catch (const Error& e) {
        return {{}, {e.what()}};
    }
}

void SaveLedOutputs(const std::vector<LedOutputConfig>& outputs) {
    WriteFileAtomic(LedOutputFilePath(), FormatLedOutputs(outputs));
}

}  // namespace zl
