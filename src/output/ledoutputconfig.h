#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zl {

enum class LedProtocol { Ddp, E131 };
// The panel's first pixel.
enum class PanelStart { TopLeft, TopRight, BottomLeft, BottomRight };
// Byte order of a pixel on the wire.
enum class ColorOrder { RGB, RBG, GRB, GBR, BRG, BGR };

constexpr int kDdpDefaultPort = 4048;
constexpr int kE131DefaultPort = 5568;
constexpr int kE131LastUniverse = 63999;
constexpr int kDefaultFrameRate = 40;
constexpr int kMaxFrameRate = 120;
// Held range of an output's width and height, in pixels.
constexpr int kMaxOutputSide = 4096;

// One LED controller fed from a region of the page, as kept in ledoutput.ini.
struct LedOutputConfig {
    std::string section;  // "output1", ...: names the output in messages
    LedProtocol protocol = LedProtocol::Ddp;
    std::string host;     // e131: empty sends multicast
    int port = kDdpDefaultPort;
    int universe = 1;     // e131: the first universe
    int x = 0, y = 0, width = 128, height = 64;
    PanelStart start = PanelStart::TopLeft;
    bool columns = false;     // the pixel chain runs along columns instead of rows
    bool serpentine = false;  // every second line runs back
    ColorOrder colors = ColorOrder::RGB;
    int brightness = 100;
    double gamma = 1.0;
    int ttl = 1;
    std::string interface;
    int rate = kDefaultFrameRate;  // frames per second

    int PixelCount() const { return width * height; }
    bool Multicast() const { return protocol == LedProtocol::E131 && host.empty(); }
    bool operator==(const LedOutputConfig&) const = default;
};

// The outputs read from the file, and one message per value that could not be read (its output
// left out) or key that means nothing here (its output kept).
struct LedOutputSettings {
    std::vector<LedOutputConfig> outputs;
    std::vector<std::string> problems;
};

LedOutputSettings ParseLedOutputs(std::string_view text);
// Sections numbered output1, output2, ... in the order given, every key written.
std::string FormatLedOutputs(const std::vector<LedOutputConfig>& outputs);

// The home's ledoutput.ini.
std::filesystem::path LedOutputFilePath();
// Nothing and no problem when the file is absent; a file that cannot be read is one problem.
LedOutputSettings LoadLedOutputs();
// Written atomically, so a failed save leaves the previous file whole.
void SaveLedOutputs(const std::vector<LedOutputConfig>& outputs);

// Names as written in the file.
std::string_view ProtocolName(LedProtocol p);
std::string_view StartName(PanelStart s);
std::string_view ColorOrderName(ColorOrder c);
// A short description for lists and messages: "output1 ddp 127.0.0.1:4048".
std::string Describe(const LedOutputConfig& output);

}  // namespace zl
