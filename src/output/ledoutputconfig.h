#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zl {

enum class LedProtocol { Ddp, E131, ArtNet };
// The panel's first pixel.
enum class PanelStart { TopLeft, TopRight, BottomLeft, BottomRight };
// Byte order of a pixel on the wire: the three-letter orders, then the four-letter ones with a
// white channel (white = the smallest of red, green and blue, taken off each of them).
enum class ColorOrder { RGB, RBG, GRB, GBR, BRG, BGR, RGBW, RBGW, GRBW, GBRW, BRGW, BGRW, WRGB };
constexpr int kColorOrderCount = 30;  // the named ones, then WRBG ... and the W-inside orders
// Wire bytes per pixel: 3, or 4 with white.
int ChannelsPerPixel(ColorOrder order);

constexpr int kDdpDefaultPort = 4048;
constexpr int kE131DefaultPort = 5568;
constexpr int kArtNetDefaultPort = 6454;
constexpr int kE131LastUniverse = 63999;
constexpr int kArtNetLastUniverse = 32767;  // the 15-bit port-address
constexpr int kUniverseChannels = 512;
constexpr int kMaxPace = 90;
constexpr int kDefaultFrameRate = 40;
constexpr int kMaxFrameRate = 120;
// Held range of an output's width and height, in pixels.
constexpr int kMaxOutputSide = 4096;

// One LED controller fed from a region of the page, as kept in ledoutput.ini.
struct LedOutputConfig {
    std::string section;  // "output1", ...: names the output in messages
    bool enabled = true;  // a disabled output is kept and sends nothing
    LedProtocol protocol = LedProtocol::Ddp;
    std::string host;     // e131: empty sends multicast
    int port = kDdpDefaultPort;
    int universe = 1;     // e131 and artnet: the first universe (artnet from 0)
    int startChannel = 1;       // e131 and artnet: the first pixel's channel in the first universe
    int pixelsPerUniverse = 0;  // e131 and artnet: 0 for as many as fit
    int offset = 0;             // ddp: the first pixel's place in the controller's chain
    int priority = 100;         // e131
    int sync = 0;               // e131: the synchronisation universe, 0 off; artnet: 1 sends ArtSync
    int pace = 0;               // per cent of the frame interval the packets are spread over
    int x = 0, y = 0, width = 128, height = 64;
    PanelStart start = PanelStart::TopLeft;
    bool columns = false;     // the pixel chain runs along columns instead of rows
    bool serpentine = false;  // every second line runs back
    ColorOrder colors = ColorOrder::RGB;
    int brightness = 100;
    // Per cent of `brightness` from each minute of the day on, in time order; empty: always 100.
    struct BrightnessStep {
        int minute;
        int percent;
        bool operator==(const BrightnessStep&) const = default;
    };
    std::vector<BrightnessStep> brightnessSchedule;
    double gamma = 1.0;
    int ttl = 1;
    std::string interface;
    int rate = kDefaultFrameRate;  // frames per second

    int PixelCount() const { return width * height; }
    bool Multicast() const { return protocol == LedProtocol::E131 && host.empty(); }
    bool UsesUniverses() const { return protocol != LedProtocol::Ddp; }
    int Channels() const { return ChannelsPerPixel(colors); }
    // Pixels in every universe after the first (pixels_per_universe, or as many as fit).
    int UniversePixels() const { return pixelsPerUniverse > 0 ? pixelsPerUniverse : kUniverseChannels / Channels(); }
    // Universes the region takes, the first one starting at startChannel.
    long long UniverseCount() const;
    bool operator==(const LedOutputConfig&) const = default;
};

// The outputs read from the file, and one message per value that could not be read (its output
// left out) or key that means nothing here (its output kept). Overlaps between outputs and other
// doubtful settings are reported too; those outputs still send.
struct LedOutputSettings {
    std::vector<LedOutputConfig> outputs;
    std::vector<std::string> problems;
    std::vector<std::string> unreadable;  // output sections left out, as named in the file
};

LedOutputSettings ParseLedOutputs(std::string_view text);
// Sections numbered output1, output2, ... in the order given.
std::string FormatLedOutputs(const std::vector<LedOutputConfig>& outputs);
// The file's text with `outputs` written into the sections their names give and the sections
// named in `removed` taken out. Only values that changed are rewritten, in their own lines with
// their comments; missing keys go after the section's last entry; a new output is a new section
// at the end. Everything else stays as written, byte for byte.
// With `base` (the outputs as they were read when editing began), a value counts as changed
// when it differs from its base, so edits made to the file meanwhile by hand are kept.
std::string EditLedOutputText(std::string_view text, const std::vector<LedOutputConfig>& outputs,
                              const std::vector<std::string>& removed, const std::vector<LedOutputConfig>& base = {});
// A section name of the form outputN that no section of `text` nor `taken` uses.
std::string FreeSectionName(std::string_view text, const std::vector<std::string>& taken);
// Two outputs whose hosts are written differently but resolved to the same `address`: the
// problem when their pixels or universes overlap there, else empty.
std::string SameAddressOverlap(const LedOutputConfig& a, const LedOutputConfig& b, const std::string& address);
// Problems a page of `pageWidth` x `pageHeight` gives the outputs: a region partly or wholly
// outside it sends black there.
std::vector<std::string> RegionProblems(const std::vector<LedOutputConfig>& outputs, int pageWidth, int pageHeight);
// Text from a file shown in a message: bytes that are not UTF-8 text as \xNN, and at most
// kQuotedCharacters characters of it, "…" marking the rest.
constexpr size_t kQuotedCharacters = 80;
std::string Printable(std::string_view bytes);
// Problems as shown to the installer: the first kListedProblems, then "另有 N 处" for the rest.
constexpr size_t kListedProblems = 20;
std::string ProblemList(const std::vector<std::string>& problems, std::string_view separator = "\n");

// The schedule's per cent at a local wall time; before the day's first step the day before's last
// step holds.
int ScheduledPercent(const std::vector<LedOutputConfig::BrightnessStep>& steps, std::int64_t localMs);
std::optional<std::vector<LedOutputConfig::BrightnessStep>> ParseBrightnessSchedule(std::string_view text);
std::string BrightnessScheduleText(const std::vector<LedOutputConfig::BrightnessStep>& steps);

// The home's ledoutput.ini.
std::filesystem::path LedOutputFilePath();
// Nothing and no problem when the file is absent; a file that cannot be read is one problem.
LedOutputSettings LoadLedOutputs();
// Written atomically, so a failed save leaves the previous file whole.
void SaveLedOutputs(const std::vector<LedOutputConfig>& outputs);
// The file's text as it stands, empty when absent.
std::string ReadLedOutputText();
void WriteLedOutputText(const std::string& text);

// Names as written in the file.
std::string_view ProtocolName(LedProtocol p);
std::string_view StartName(PanelStart s);
std::string_view ColorOrderName(ColorOrder c);
// A short description for lists and messages: "output1 ddp 127.0.0.1:4048".
std::string Describe(const LedOutputConfig& output);

}  // namespace zl
