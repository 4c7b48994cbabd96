#include "output/ledoutputconfig.h"

#include <algorithm>
#include <cstdio>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>
#include <unordered_map>

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

constexpr std::array<std::string_view, 3> kProtocols{"ddp", "e131", "artnet"};
constexpr std::array<std::string_view, 4> kStarts{"topleft", "topright", "bottomleft", "bottomright"};
constexpr std::array<std::string_view, 2> kLines{"rows", "columns"};
constexpr std::array<std::string_view, kColorOrderCount> kColorOrders{
    "RGB",  "RBG",  "GRB",  "GBR",  "BRG",  "BGR",                                    // three channels
    "RGBW", "RBGW", "GRBW", "GBRW", "BRGW", "BGRW", "WRGB", "WRBG", "WGRB", "WGBR", "WBRG", "WBGR",
    "RWGB", "RWBG", "GWRB", "GWBR", "BWRG", "BWGR", "RGWB", "RBWG", "GRWB", "GBWR", "BRWG", "BGWR"};

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

std::string Where(const std::string& section) { return std::string(kFileName) + " [" + Printable(section) + "]"; }

int DefaultPort(LedProtocol p) {
    return p == LedProtocol::Ddp ? kDdpDefaultPort : p == LedProtocol::E131 ? kE131DefaultPort : kArtNetDefaultPort;
}

// Reads one output section; false when a value could not be read.
bool ReadOutput(const IniSection& section, LedOutputConfig& out, std::vector<std::string>& problems) {
    bool ok = true;
    std::optional<int> port, universe, pixelsPerUniverse;
    const IniEntry* sync = nullptr;
    auto bad = [&](const IniEntry& e, const char* expected) {
        problems.push_back(Where(section.name) + " " + Printable(e.key) + ": 无法读取 \"" + Printable(e.value) +
                           "\"（应为" + expected + "），此输出不发送");
        ok = false;
    };
    std::vector<std::string> present;  // keys that mean something, as written
    for (const IniEntry& e : section.entries) {
        const std::string key = Lower(e.key);
        const std::string_view v = e.value;
        present.push_back(key);
        auto integer = [&](int& field, int low, int high, const char* expected) {
            if (auto n = ReadInt(v, low, high)) field = *n; else bad(e, expected);
        };
        if (key == "protocol") {
            if (auto p = Lookup<LedProtocol>(kProtocols, v)) out.protocol = *p; else bad(e, " ddp、e131 或 artnet");
        } else if (key == "enabled") {
            if (auto b = ReadBool(v)) out.enabled = *b; else bad(e, " true 或 false");
        } else if (key == "host") {
            out.host = e.value;
        } else if (key == "port") {
            if (auto n = ReadInt(v, 1, 65535)) port = n; else bad(e, " 1 到 65535 的端口号");
        } else if (key == "universe") {
            if (auto n = ReadInt(v, 0, kE131LastUniverse)) universe = n;
            else bad(e, " e131 为 1 到 63999、artnet 为 0 到 32767 的整数");
        } else if (key == "start_channel") {
            integer(out.startChannel, 1, kUniverseChannels, " 1 到 512 的整数");
        } else if (key == "pixels_per_universe") {
            if (auto n = ReadInt(v, 1, 170)) pixelsPerUniverse = n; else bad(e, " 1 到 170 的整数（RGBW 为 1 到 128）");
        } else if (key == "offset") {
            integer(out.offset, 0, 1 << 24, " 0 到 16777216 的像素序号");
        } else if (key == "priority") {
            integer(out.priority, 0, 200, " 0 到 200 的整数");
        } else if (key == "sync") {
            sync = &e;
        } else if (key == "pace") {
            integer(out.pace, 0, kMaxPace, " 0 到 90 的百分数");
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
            else bad(e, " RGB、GRB 等三个字母或 RGBW、GRBW 等四个字母的顺序");
        } else if (key == "brightness") {
            integer(out.brightness, 0, 100, " 0 到 100 的整数");
        } else if (key == "brightness_schedule") {
            if (auto steps = ParseBrightnessSchedule(v)) out.brightnessSchedule = std::move(*steps);
            else bad(e, " HH:MM=P 的逗号列表，P 为 0 到 100，时间不重复");
        } else if (key == "gamma") {
            if (auto g = ReadGamma(v)) out.gamma = *g; else bad(e, " 0.1 到 10 的数");
        } else if (key == "ttl") {
            integer(out.ttl, 1, 255, " 1 到 255 的整数");
        } else if (key == "interface") {
            out.interface = e.value;
        } else if (key == "rate") {
            integer(out.rate, 1, kMaxFrameRate, " 1 到 120 的每秒帧数");
        } else {
            problems.push_back(Where(section.name) + " " + Printable(e.key) + ": 未知的键，已忽略");
        }
    }
    // Values whose range or meaning follows the protocol are checked once it is known.
    out.port = port ? *port : DefaultPort(out.protocol);
    const bool artnet = out.protocol == LedProtocol::ArtNet;
    out.universe = universe ? *universe : artnet ? 0 : 1;
    if (universe && (artnet ? *universe > kArtNetLastUniverse : *universe < 1)) {
        problems.push_back(Where(section.name) + " universe: 无法读取 \"" + std::to_string(*universe) + "\"（应为" +
                           (artnet ? " 0 到 32767" : " 1 到 63999") + " 的整数），此输出不发送");
        ok = false;
    }
    if (pixelsPerUniverse) {
        const int most = kUniverseChannels / out.Channels();
        if (*pixelsPerUniverse > most) {
            problems.push_back(Where(section.name) + " pixels_per_universe: 无法读取 \"" +
                               std::to_string(*pixelsPerUniverse) + "\"（每像素 " + std::to_string(out.Channels()) +
                               " 个通道时应为 1 到 " + std::to_string(most) + "），此输出不发送");
            ok = false;
        } else {
            out.pixelsPerUniverse = *pixelsPerUniverse;
        }
    }
    if (sync) {
        if (artnet) {
            if (auto b = ReadBool(sync->value)) out.sync = *b ? 1 : 0; else bad(*sync, " true 或 false");
        } else if (auto n = ReadInt(sync->value, 0, kE131LastUniverse)) {
            out.sync = *n;
        } else {
            bad(*sync, " 同步 universe 1 到 63999，0 为关闭");
        }
    }
    if (!ok) return false;
    if (out.host.empty() && out.protocol != LedProtocol::E131) {
        problems.push_back(Where(section.name) + " host: " + std::string(ProtocolName(out.protocol)) +
                           " 需要控制器的地址，此输出不发送");
        return false;
    }
    if (out.UsesUniverses()) {
        const int last = artnet ? kArtNetLastUniverse : kE131LastUniverse;
        const long long universes = out.UniverseCount();
        if (out.universe + universes - 1 > last) {
            problems.push_back(Where(section.name) + " universe: 从 " + std::to_string(out.universe) + " 起放不下 " +
                               std::to_string(universes) + " 个 universe（最大 " + std::to_string(last) +
                               "），此输出不发送");
            return false;
        }
    }
    // Settings the protocol has no use for are most likely meant for another output. The file's
    // own writer puts universe=1 into every section, so only another universe counts.
    if (universe && *universe == 1) present.erase(std::remove(present.begin(), present.end(), "universe"), present.end());
    if (out.protocol == LedProtocol::Ddp)
        for (const char* key : {"universe", "start_channel", "pixels_per_universe", "priority", "sync"})
            if (std::find(present.begin(), present.end(), key) != present.end())
                problems.push_back(Where(section.name) + " " + key + ": ddp 不用此键（它属于 e131 或 artnet），已忽略");
    if (out.protocol == LedProtocol::ArtNet && std::find(present.begin(), present.end(), "priority") != present.end())
        problems.push_back(Where(section.name) + " priority: artnet 不用此键（它属于 e131），已忽略");
    // A start channel this late leaves no whole pixel in the first universe: it goes out all zero.
    if (out.UsesUniverses() && (kUniverseChannels - (out.startChannel - 1)) / out.Channels() == 0)
        problems.push_back(Where(section.name) + " start_channel: 从 " + std::to_string(out.startChannel) +
                           " 起第一个 universe 放不下一个像素（每像素 " + std::to_string(out.Channels()) +
                           " 个通道，最大 " + std::to_string(kUniverseChannels - out.Channels() + 1) +
                           "），第一个 universe 全为 0，像素从下一个 universe 起");
    // Another protocol's port is most likely a slip; the controller ignores what it gets there.
    for (LedProtocol other : {LedProtocol::Ddp, LedProtocol::E131, LedProtocol::ArtNet})
        if (other != out.protocol && out.port == DefaultPort(other))
            problems.push_back(Where(section.name) + " port: " + std::to_string(out.port) + " 是 " +
                               std::string(ProtocolName(other)) + " 的端口，" + std::string(ProtocolName(out.protocol)) +
                               " 通常用 " + std::to_string(DefaultPort(out.protocol)) + "，照常发送");
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

std::string Bool(bool b) { return b ? "true" : "false"; }

// Every key as the file writes it. The first ones are always written for a new output; the
// later ones only when they differ from their default.
struct KeyText {
    const char* key;
    std::string (*text)(const LedOutputConfig&);
    bool always;
};
const KeyText kKeys[] = {
    {"protocol", [](const LedOutputConfig& o) { return std::string(ProtocolName(o.protocol)); }, true},
    {"host", [](const LedOutputConfig& o) { return o.host; }, true},
    {"port", [](const LedOutputConfig& o) { return std::to_string(o.port); }, true},
    {"universe", [](const LedOutputConfig& o) { return std::to_string(o.universe); }, true},
    {"x", [](const LedOutputConfig& o) { return std::to_string(o.x); }, true},
    {"y", [](const LedOutputConfig& o) { return std::to_string(o.y); }, true},
    {"width", [](const LedOutputConfig& o) { return std::to_string(o.width); }, true},
    {"height", [](const LedOutputConfig& o) { return std::to_string(o.height); }, true},
    {"start", [](const LedOutputConfig& o) { return std::string(StartName(o.start)); }, true},
    {"lines", [](const LedOutputConfig& o) { return std::string(o.columns ? "columns" : "rows"); }, true},
    {"serpentine", [](const LedOutputConfig& o) { return Bool(o.serpentine); }, true},
    {"colors", [](const LedOutputConfig& o) { return std::string(ColorOrderName(o.colors)); }, true},
    {"brightness", [](const LedOutputConfig& o) { return std::to_string(o.brightness); }, true},
    {"gamma", [](const LedOutputConfig& o) { return GammaText(o.gamma); }, true},
    {"ttl", [](const LedOutputConfig& o) { return std::to_string(o.ttl); }, true},
    {"interface", [](const LedOutputConfig& o) { return o.interface; }, true},
    {"rate", [](const LedOutputConfig& o) { return std::to_string(o.rate); }, true},
    {"enabled", [](const LedOutputConfig& o) { return Bool(o.enabled); }, false},
    {"brightness_schedule", [](const LedOutputConfig& o) { return BrightnessScheduleText(o.brightnessSchedule); }, false},
    {"start_channel", [](const LedOutputConfig& o) { return std::to_string(o.startChannel); }, false},
    {"pixels_per_universe", [](const LedOutputConfig& o) { return std::to_string(o.pixelsPerUniverse); }, false},
    {"offset", [](const LedOutputConfig& o) { return std::to_string(o.offset); }, false},
    {"priority", [](const LedOutputConfig& o) { return std::to_string(o.priority); }, false},
    {"sync",
     [](const LedOutputConfig& o) {
         // "0" reads as off for every protocol, so a change of protocol alone leaves it be.
         return o.protocol == LedProtocol::ArtNet && o.sync != 0 ? std::string("true") : std::to_string(o.sync);
     },
     false},
    {"pace", [](const LedOutputConfig& o) { return std::to_string(o.pace); }, false},
};

std::string FormatSection(const LedOutputConfig& o, const std::string& name, const char* eol) {
    std::string s = "[" + name + "]" + eol;
    const LedOutputConfig plain;
    for (const KeyText& k : kKeys)
        if (k.always || k.text(o) != k.text(plain)) s += std::string(k.key) + "=" + k.text(o) + eol;
    return s;
}

// Where pixel or universe ranges of two outputs to the same controller meet, as text for the
// report; empty when apart.
std::string RangeOverlap(const LedOutputConfig& a, const LedOutputConfig& b) {
    if (!a.enabled || !b.enabled || a.protocol != b.protocol || a.port != b.port) return {};
    auto range = [](long long from1, long long to1, long long from2, long long to2, const char* what) -> std::string {
        const long long from = std::max(from1, from2), to = std::min(to1, to2);
        if (from > to) return {};
        return std::string(what) + " " + std::to_string(from) + (from == to ? "" : "–" + std::to_string(to));
    };
    if (a.protocol == LedProtocol::Ddp) {
        const long long a0 = static_cast<long long>(a.offset) * a.Channels(), b0 = static_cast<long long>(b.offset) * b.Channels();
        return range(a0, a0 + static_cast<long long>(a.PixelCount()) * a.Channels() - 1, b0,
                     b0 + static_cast<long long>(b.PixelCount()) * b.Channels() - 1, "字节偏移");
    }
    return range(a.universe, a.universe + a.UniverseCount() - 1, b.universe, b.universe + b.UniverseCount() - 1,
                 "universe");
}

std::string Overlap(const LedOutputConfig& a, const LedOutputConfig& b) {
    return Lower(a.host) == Lower(b.host) ? RangeOverlap(a, b) : std::string();
}

}  // namespace

std::optional<std::vector<LedOutputConfig::BrightnessStep>> ParseBrightnessSchedule(std::string_view text) {
    std::vector<LedOutputConfig::BrightnessStep> steps;
    auto trim = [](std::string_view t) {
        while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
        while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
        return t;
    };
    if (trim(text).empty()) return steps;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        const size_t colon = item.find(':'), equals = item.find('=');
        if (colon == std::string_view::npos || equals == std::string_view::npos || equals < colon) return std::nullopt;
        const auto hour = ReadInt(trim(item.substr(0, colon)), 0, 23);
        const std::string_view minuteText = trim(item.substr(colon + 1, equals - colon - 1));
        const auto minute = minuteText.size() == 2 ? ReadInt(minuteText, 0, 59) : std::nullopt;
        const auto percent = ReadInt(trim(item.substr(equals + 1)), 0, 100);
        if (!hour || !minute || !percent) return std::nullopt;
        steps.push_back({*hour * 60 + *minute, *percent});
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    std::sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.minute < b.minute; });
    for (size_t i = 1; i < steps.size(); ++i)
        if (steps[i].minute == steps[i - 1].minute) return std::nullopt;  // two levels at one time
    return steps;
}

std::string BrightnessScheduleText(const std::vector<LedOutputConfig::BrightnessStep>& steps) {
    std::string s;
    for (const auto& step : steps) {
        char item[16];
        std::snprintf(item, sizeof item, "%s%02d:%02d=%d", s.empty() ? "" : ",", step.minute / 60, step.minute % 60,
                      step.percent);
        s += item;
    }
    return s;
}

int ScheduledPercent(const std::vector<LedOutputConfig::BrightnessStep>& steps, std::int64_t localMs) {
    if (steps.empty()) return 100;
    constexpr std::int64_t kDay = 86'400'000;
    const int minute = static_cast<int>(((localMs % kDay + kDay) % kDay) / 60'000);
    int percent = steps.back().percent;
    for (const auto& step : steps)
        if (step.minute <= minute) percent = step.percent;
    return percent;
}

int ChannelsPerPixel(ColorOrder order) { return static_cast<int>(order) < 6 ? 3 : 4; }

long long LedOutputConfig::UniverseCount() const {
    const int channels = Channels();
    const long long first = std::min<long long>(UniversePixels(), (kUniverseChannels - (startChannel - 1)) / channels);
    const long long rest = std::max<long long>(0, PixelCount() - first);
    return 1 + (rest + UniversePixels() - 1) / UniversePixels();
}

std::string_view ProtocolName(LedProtocol p) { return kProtocols[static_cast<int>(p)]; }
std::string_view StartName(PanelStart s) { return kStarts[static_cast<int>(s)]; }
std::string_view ColorOrderName(ColorOrder c) { return kColorOrders[static_cast<int>(c)]; }

std::string Printable(std::string_view bytes) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    size_t shown = 0;
    for (size_t i = 0; i < bytes.size(); ++shown) {
        if (shown == kQuotedCharacters) return out + "…";
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        bool text = length > 0 && i + length <= bytes.size() && !(length == 1 && (c < 0x20 || c == 0x7F));
        for (size_t k = 1; text && k < length; ++k) text = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (text) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
    return out;
}

std::string ProblemList(const std::vector<std::string>& problems, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < problems.size() && i < kListedProblems; ++i) {
        if (i) out += separator;
        out += problems[i];
    }
    if (problems.size() > kListedProblems)
        out += std::string(separator) + "另有 " + std::to_string(problems.size() - kListedProblems) + " 处";
    return out;
}

std::string Describe(const LedOutputConfig& o) {
    std::string where = o.Multicast() ? "multicast" : Printable(o.host);
    return Printable(o.section) + " " + std::string(ProtocolName(o.protocol)) + " " + where + ":" + std::to_string(o.port);
}

LedOutputSettings ParseLedOutputs(std::string_view text) {
    LedOutputSettings result;
    const IniText ini = ParseIni(text);
    for (const std::string& line : ini.badLines)
        result.problems.push_back(std::string(kFileName) + " " + Printable(line) + ": 无法读取，已忽略");
    std::unordered_map<std::string, int> seen;  // section names in lower case, and their lines
    for (const IniSection& section : ini.sections) {
        if (!IsOutputSection(section.name)) {
            result.problems.push_back(Where(section.name) + ": 不是输出节（应为 output1、output2 …），已忽略");
            continue;
        }
        const auto [twin, first] = seen.emplace(Lower(section.name), section.line);
        if (!first) {
            // Two streams under one name could not be told apart in any message; the first holds.
            result.problems.push_back(Where(section.name) + ": 第 " + std::to_string(section.line) +
                                      " 行的节名与第 " + std::to_string(twin->second) + " 行重复，此节不发送");
            continue;
        }
        LedOutputConfig output;
        output.section = section.name;
        if (ReadOutput(section, output, result.problems))
            result.outputs.push_back(std::move(output));
        else
            result.unreadable.push_back(section.name);
    }
    for (size_t i = 0; i < result.outputs.size(); ++i)
        for (size_t j = i + 1; j < result.outputs.size(); ++j) {
            const LedOutputConfig &a = result.outputs[i], &b = result.outputs[j];
            const std::string where = Overlap(a, b);
            if (where.empty()) continue;
            result.problems.push_back(Where(a.section) + " 与 [" + Printable(b.section) + "] 都向 " +
                                      (a.Multicast() ? std::string("组播") : Printable(a.host)) + ":" +
                                      std::to_string(a.port) + " 发送 " + where +
                                      "（控制器会收到两路数据），两个输出照常发送");
        }
    return result;
}

std::string FormatLedOutputs(const std::vector<LedOutputConfig>& outputs) {
    std::string s;
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (i) s += "\n";
        s += FormatSection(outputs[i], "output" + std::to_string(i + 1), "\n");
    }
    return s;
}

std::string FreeSectionName(std::string_view text, const std::vector<std::string>& taken) {
    std::vector<std::string> used;
    for (const IniSection& s : ParseIni(text).sections) used.push_back(Lower(s.name));
    for (const std::string& t : taken) used.push_back(Lower(t));
    for (int n = 1;; ++n) {
        const std::string name = "output" + std::to_string(n);
        if (std::find(used.begin(), used.end(), name) == used.end()) return name;
    }
}

std::string EditLedOutputText(std::string_view text, const std::vector<LedOutputConfig>& outputs,
                              const std::vector<std::string>& removed, const std::vector<LedOutputConfig>& base) {
    // Lines with their own endings, numbered from 1 as the reader numbers them.
    std::vector<std::string> lines{""};
    for (size_t i = 0; i < text.size(); ++i) {
        lines.back() += text[i];
        if (text[i] == '\n') lines.emplace_back();
    }
    if (lines.back().empty()) lines.pop_back();
    const char* eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const IniText ini = ParseIni(text);
    auto find = [&](const std::string& name) -> const IniSection* {
        for (const IniSection& s : ini.sections)
            if (Lower(s.name) == Lower(name) && IsOutputSection(s.name)) return &s;
        return nullptr;
    };
    // A section runs from its header to the line before the next header.
    auto end = [&](const IniSection& s) {
        int last = static_cast<int>(lines.size());
        for (const IniSection& t : ini.sections)
            if (t.line > s.line && !t.name.empty()) {
                last = t.line - 1;
                break;
            }
        return last;
    };
    std::vector<bool> drop(lines.size() + 1, false);
    std::vector<std::string> insertAfter(lines.size() + 1);
    std::string appended;
    for (const std::string& name : removed)
        if (const IniSection* s = find(name))
            for (int n = s->line; n <= end(*s); ++n) drop[static_cast<size_t>(n)] = true;
    for (const LedOutputConfig& o : outputs) {
        const IniSection* s = find(o.section);
        if (!s) {
            if (!appended.empty() || !lines.empty()) appended += eol;
            appended += FormatSection(o, o.section, eol);
            continue;
        }
        LedOutputConfig was;
        std::vector<std::string> ignored;
        const auto before = std::find_if(base.begin(), base.end(),
                                         [&](const LedOutputConfig& b) { return Lower(b.section) == Lower(o.section); });
        if (before != base.end())
            was = *before;
        else
            ReadOutput(*s, was, ignored);
        int lastEntry = s->line;
        for (const IniEntry& e : s->entries) lastEntry = std::max(lastEntry, e.line);
        for (const KeyText& k : kKeys) {
            const std::string now = k.text(o);
            if (now == k.text(was)) continue;
            const IniEntry* entry = nullptr;
            for (const IniEntry& e : s->entries)
                if (Lower(e.key) == k.key) entry = &e;
            if (!entry) {
                insertAfter[static_cast<size_t>(lastEntry)] += std::string(k.key) + "=" + now + eol;
                continue;
            }
            // The value is what lies between "=" and a comment, blanks trimmed; the rest stays.
            std::string& line = lines[static_cast<size_t>(entry->line - 1)];
            const size_t eq = line.find('=');
            size_t stop = line.size();
            while (stop > eq + 1 && (line[stop - 1] == '\n' || line[stop - 1] == '\r')) --stop;
            for (size_t i = eq + 1; i < stop; ++i)
                if ((line[i] == ';' || line[i] == '#') && (line[i - 1] == ' ' || line[i - 1] == '\t')) {
                    stop = i;
                    break;
                }
            size_t from = eq + 1;
            while (from < stop && (line[from] == ' ' || line[from] == '\t')) ++from;
            size_t to = stop;
            while (to > from && (line[to - 1] == ' ' || line[to - 1] == '\t')) --to;
            line.replace(from, to - from, now);
        }
    }
    std::string out;
    for (size_t n = 1; n <= lines.size(); ++n) {
        if (drop[n]) continue;
        out += lines[n - 1];
        if (insertAfter[n].empty()) continue;
        if (out.back() != '\n') out += eol;
        out += insertAfter[n];
    }
    if (!appended.empty() && !out.empty() && out.back() != '\n') out += eol;
    return out + appended;
}

std::string SameAddressOverlap(const LedOutputConfig& a, const LedOutputConfig& b, const std::string& address) {
    if (Lower(a.host) == Lower(b.host) || a.Multicast() || b.Multicast()) return {};  // reported when read
    const std::string where = RangeOverlap(a, b);
    if (where.empty()) return {};
    return Where(a.section) + " 的 " + Printable(a.host) + " 与 [" + Printable(b.section) + "] 的 " + Printable(b.host) +
           " 是同一个控制器 " + address + ":" + std::to_string(a.port) + "，都发送 " + where +
           "（控制器会收到两路数据），两个输出照常发送";
}

std::vector<std::string> RegionProblems(const std::vector<LedOutputConfig>& outputs, int pageWidth, int pageHeight) {
    std::vector<std::string> problems;
    for (const LedOutputConfig& o : outputs) {
        if (!o.enabled || (o.x + o.width <= pageWidth && o.y + o.height <= pageHeight)) continue;
        problems.push_back(Where(o.section) + ": 区域 (" + std::to_string(o.x) + ", " + std::to_string(o.y) + ", " +
                           std::to_string(o.width) + "×" + std::to_string(o.height) + ") 超出页面 (" +
                           std::to_string(pageWidth) + "×" + std::to_string(pageHeight) +
                           ")，页面以外的像素发送黑色");
    }
    return problems;
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

std::string ReadLedOutputText() {
    const auto path = LedOutputFilePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    return ReadWholeFile(path);
}

void WriteLedOutputText(const std::string& text) { WriteFileAtomic(LedOutputFilePath(), text); }

}  // namespace zl
