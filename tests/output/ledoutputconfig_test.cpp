#include <gtest/gtest.h>

#include <cstdlib>

#include "core/atomicfile.h"
#include "output/ledoutputconfig.h"
#include "output/pixelmap.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

// The file as an installer writes it by hand, comments and all.
constexpr const char* kHandWritten = R"([output1]
protocol=ddp        ; ddp or e131
host=127.0.0.1      ; for e131, empty means multicast
port=4048           ; when absent: 4048 for ddp, 5568 for e131
universe=1          ; first universe, e131 only
x=0                 ; region of the page's client area, in pixels
y=0
width=128
height=64
start=topleft       ; topleft, topright, bottomleft or bottomright: the panel's first pixel
lines=rows          ; rows or columns: how the pixel chain runs
serpentine=false    ; true: every second line runs back
colors=RGB          ; RGB, RBG, GRB, GBR, BRG or BGR: byte order on the wire
brightness=100      ; 0..100
gamma=1.0
ttl=1               ; multicast only
interface=          ; multicast only: interface name, empty for the default

[output2]
protocol=E131
universe=7
x=128
width=32
height=16
start=BottomRight
lines=columns
serpentine=true
colors=grb
brightness=50
gamma=2.2
ttl=4
interface=lo
)";

TEST(LedOutputFile, ReadsTheHandWrittenFormWithDefaultsForMissingKeys) {
    const LedOutputSettings read = ParseLedOutputs(kHandWritten);
    EXPECT_TRUE(read.problems.empty()) << read.problems.front();
    ASSERT_EQ(read.outputs.size(), 2u);

    LedOutputConfig first;
    first.section = "output1";
    first.host = "127.0.0.1";
    EXPECT_EQ(read.outputs[0], first);

    const LedOutputConfig& second = read.outputs[1];
    EXPECT_EQ(second.protocol, LedProtocol::E131);
    EXPECT_TRUE(second.Multicast());
    EXPECT_EQ(second.port, kE131DefaultPort);  // absent: the protocol's port
    EXPECT_EQ(second.universe, 7);
    EXPECT_EQ(second.x, 128);
    EXPECT_EQ(second.y, 0);
    EXPECT_EQ(second.width, 32);
    EXPECT_EQ(second.height, 16);
    EXPECT_EQ(second.start, PanelStart::BottomRight);
    EXPECT_TRUE(second.columns);
    EXPECT_TRUE(second.serpentine);
    EXPECT_EQ(second.colors, ColorOrder::GRB);
    EXPECT_EQ(second.brightness, 50);
    EXPECT_DOUBLE_EQ(second.gamma, 2.2);
    EXPECT_EQ(second.ttl, 4);
    EXPECT_EQ(second.interface, "lo");
    EXPECT_EQ(second.rate, kDefaultFrameRate);

    // What the dialog writes reads back the same.
    EXPECT_EQ(ParseLedOutputs(FormatLedOutputs(read.outputs)).outputs[1], [&] {
        LedOutputConfig renamed = second;
        renamed.section = "output2";
        return renamed;
    }());
}

TEST(LedOutputFile, AValueThatCannotBeReadNamesSectionAndKeyAndLeavesThatOutputOut) {
    struct Case {
        const char* section;
        const char* expected;  // the start of the problem
        bool kept;
    };
    const Case cases[] = {
        {"protocol=artnet\nhost=a", "ledoutput.ini [output1] protocol: 无法读取 \"artnet\"", false},
        {"host=a\nbrightness=101", "ledoutput.ini [output1] brightness: 无法读取 \"101\"", false},
        {"host=a\nbrightness=50%", "ledoutput.ini [output1] brightness:", false},
        {"host=a\nwidth=0", "ledoutput.ini [output1] width:", false},
        {"host=a\nport=70000", "ledoutput.ini [output1] port:", false},
        {"host=a\ngamma=abc", "ledoutput.ini [output1] gamma:", false},
        {"host=a\ngamma=0", "ledoutput.ini [output1] gamma:", false},
        {"host=a\nstart=middle", "ledoutput.ini [output1] start:", false},
        {"host=a\ncolors=RGBW", "ledoutput.ini [output1] colors:", false},
        {"host=a\nserpentine=maybe", "ledoutput.ini [output1] serpentine:", false},
        {"host=a\nrate=0", "ledoutput.ini [output1] rate:", false},
        {"protocol=ddp", "ledoutput.ini [output1] host:", false},
        // 512 x 256 needs 772 universes: from 63500 they do not fit.
        {"protocol=e131\nuniverse=63500\nwidth=512\nheight=256", "ledoutput.ini [output1] universe:", false},
        {"host=a\nbrightnes=50", "ledoutput.ini [output1] brightnes: 未知的键", true},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("[output1]\n") + c.section + "\n[output2]\nhost=b\n";
        const LedOutputSettings read = ParseLedOutputs(text);
        ASSERT_EQ(read.problems.size(), 1u) << c.section;
        EXPECT_EQ(read.problems[0].rfind(c.expected, 0), 0u) << read.problems[0];
        ASSERT_EQ(read.outputs.size(), c.kept ? 2u : 1u) << c.section;
        EXPECT_EQ(read.outputs.back().host, "b");
    }
    const LedOutputSettings stray = ParseLedOutputs("[general]\nrate=40\nnonsense\n[output1]\nhost=a\n");
    EXPECT_EQ(stray.problems.size(), 2u);
    EXPECT_EQ(stray.outputs.size(), 1u);
}

TEST(LedOutputFile, AbsentMeansNoOutputAndSavingIsAtomic) {
    testing::ScratchDir home("ledoutput");
    ::setenv("ZORLED_HOME", home.path().c_str(), 1);
    const LedOutputSettings none = LoadLedOutputs();
    EXPECT_TRUE(none.outputs.empty());
    EXPECT_TRUE(none.problems.empty());

    LedOutputConfig o;
    o.host = "127.0.0.1";
    o.gamma = 2.5;
    SaveLedOutputs({o, o});
    const LedOutputSettings back = LoadLedOutputs();
    ASSERT_EQ(back.outputs.size(), 2u);
    EXPECT_EQ(back.outputs[1].section, "output2");
    EXPECT_DOUBLE_EQ(back.outputs[1].gamma, 2.5);
    // Nothing but the file itself is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 1);
    ::unsetenv("ZORLED_HOME");
}

TEST(PixelMapping, ChainRunsFromTheStartCornerAlongRowsOrColumns) {
    // A 3 x 2 panel; region indexes 0 1 2 / 3 4 5.
    struct Case {
        PanelStart start;
        bool columns, serpentine;
        std::vector<std::uint32_t> chain;
    };
    const Case cases[] = {
        {PanelStart::TopLeft, false, false, {0, 1, 2, 3, 4, 5}},
        {PanelStart::TopLeft, false, true, {0, 1, 2, 5, 4, 3}},
        {PanelStart::TopRight, false, false, {2, 1, 0, 5, 4, 3}},
        {PanelStart::BottomLeft, false, true, {3, 4, 5, 2, 1, 0}},
        {PanelStart::BottomRight, false, true, {5, 4, 3, 0, 1, 2}},
        {PanelStart::TopLeft, true, false, {0, 3, 1, 4, 2, 5}},
        {PanelStart::TopLeft, true, true, {0, 3, 4, 1, 2, 5}},
        {PanelStart::BottomRight, true, true, {5, 2, 1, 4, 3, 0}},
        {PanelStart::TopRight, true, false, {2, 5, 1, 4, 0, 3}},
    };
    for (const Case& c : cases) {
        LedOutputConfig o;
        o.width = 3;
        o.height = 2;
        o.start = c.start;
        o.columns = c.columns;
        o.serpentine = c.serpentine;
        EXPECT_EQ(ChainOrder(o), c.chain) << StartName(c.start) << " columns " << c.columns << " serpentine " << c.serpentine;
    }
}

TEST(PixelMapping, LevelTableRoundsHalvesUp) {
    const auto half = LevelTable(50, 1.0);
    EXPECT_EQ(half[1], 1);    // 0.5
    EXPECT_EQ(half[3], 2);    // 1.5
    EXPECT_EQ(half[255], 128);  // 127.5
    const auto full = LevelTable(100, 1.0);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(full[v], v);
    const auto off = LevelTable(0, 2.2);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(off[v], 0);
    const auto curve = LevelTable(100, 2.2);
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[128], 56);  // 255 * (128/255)^2.2 = 55.97
    EXPECT_EQ(curve[255], 255);
}

}  // namespace
}  // namespace zl
