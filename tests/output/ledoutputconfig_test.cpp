#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/atomicfile.h"
#include "output/ledoutputconfig.h"
#include "output/pixelmap.h"
#include "support/scratchdir.h"

#include <QImage>

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
        {"protocol=sacn\nhost=a", "ledoutput.ini [output1] protocol: 无法读取 \"sacn\"", false},
        {"host=a\nbrightness=101", "ledoutput.ini [output1] brightness: 无法读取 \"101\"", false},
        {"host=a\nbrightness=50%", "ledoutput.ini [output1] brightness:", false},
        {"host=a\nwidth=0", "ledoutput.ini [output1] width:", false},
        {"host=a\nport=70000", "ledoutput.ini [output1] port:", false},
        {"host=a\ngamma=abc", "ledoutput.ini [output1] gamma:", false},
        {"host=a\ngamma=0", "ledoutput.ini [output1] gamma:", false},
        {"host=a\nstart=middle", "ledoutput.ini [output1] start:", false},
        {"host=a\ncolors=RGBX", "ledoutput.ini [output1] colors:", false},
        {"host=a\ncolors=RGBW\npixels_per_universe=129", "ledoutput.ini [output1] pixels_per_universe:", false},
        {"protocol=e131\nuniverse=0", "ledoutput.ini [output1] universe:", false},
        {"protocol=artnet\nhost=a\nuniverse=32768", "ledoutput.ini [output1] universe:", false},
        {"protocol=artnet\nhost=a\nsync=7", "ledoutput.ini [output1] sync:", false},
        {"protocol=artnet", "ledoutput.ini [output1] host:", false},
        {"host=a\nstart_channel=513", "ledoutput.ini [output1] start_channel:", false},
        {"host=a\npriority=201", "ledoutput.ini [output1] priority:", false},
        {"host=a\npace=91", "ledoutput.ini [output1] pace:", false},
        {"host=a\nenabled=perhaps", "ledoutput.ini [output1] enabled:", false},
        // Bytes that are not text are shown escaped.
        {"host=a\nrate=\x01\xFF", "ledoutput.ini [output1] rate: 无法读取 \"\\x01\\xFF\"", false},
        // Another protocol's port: warned about, still sent.
        {"protocol=e131\nport=4048", "ledoutput.ini [output1] port: 4048 是 ddp 的端口", true},
        {"host=a\nport=5568", "ledoutput.ini [output1] port: 5568 是 e131 的端口", true},
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
        EXPECT_EQ(read.unreadable, c.kept ? std::vector<std::string>{} : std::vector<std::string>{"output1"});
        EXPECT_EQ(read.outputs.back().host, "b");
    }
    const LedOutputSettings stray = ParseLedOutputs("[general]\nrate=40\nnonsense\n[output1]\nhost=a\n");
    EXPECT_EQ(stray.problems.size(), 2u);
    EXPECT_EQ(stray.outputs.size(), 1u);
}

TEST(LedOutputFile, ReadsTheInstallerKeysWithTheirProtocolsDefaults) {
    const LedOutputSettings read = ParseLedOutputs(
        "[output1]\nprotocol=artnet\nhost=127.0.0.1\nsync=true\ncolors=grbw\nenabled=false\n"
        "[output2]\nprotocol=e131\nstart_channel=100\npixels_per_universe=50\npriority=150\nsync=9\npace=40\n"
        "[output3]\nhost=127.0.0.1\noffset=300\n");
    ASSERT_TRUE(read.problems.empty()) << read.problems.front();
    ASSERT_EQ(read.outputs.size(), 3u);
    const LedOutputConfig& art = read.outputs[0];
    EXPECT_EQ(art.port, kArtNetDefaultPort);
    EXPECT_EQ(art.universe, 0) << "Art-Net counts universes from 0";
    EXPECT_EQ(art.sync, 1);
    EXPECT_EQ(art.colors, ColorOrder::GRBW);
    EXPECT_EQ(art.Channels(), 4);
    EXPECT_EQ(art.UniversePixels(), 128);
    EXPECT_FALSE(art.enabled);
    const LedOutputConfig& sacn = read.outputs[1];
    EXPECT_EQ(sacn.universe, 1);
    EXPECT_EQ(sacn.startChannel, 100);
    EXPECT_EQ(sacn.UniversePixels(), 50);
    EXPECT_EQ(sacn.priority, 150);
    EXPECT_EQ(sacn.sync, 9);
    EXPECT_EQ(sacn.pace, 40);
    // 128 x 64 pixels: 50 in the first universe (from channel 100), then 50 a universe.
    EXPECT_EQ(sacn.UniverseCount(), 1 + (8192 - 50 + 49) / 50);
    EXPECT_EQ(read.outputs[2].offset, 300);
    // Written and read again, every key comes back.
    const LedOutputSettings again = ParseLedOutputs(FormatLedOutputs(read.outputs));
    ASSERT_EQ(again.outputs.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        LedOutputConfig renamed = read.outputs[i];
        renamed.section = "output" + std::to_string(i + 1);
        EXPECT_EQ(again.outputs[i], renamed) << i;
    }
}

TEST(LedOutputFile, OverlapsAndRepeatedSectionsAreReported) {
    const LedOutputSettings read = ParseLedOutputs(
        "[output1]\nprotocol=e131\nhost=127.0.0.1\nuniverse=5\nwidth=20\nheight=20\n"  // universes 5-7
        "[output2]\nprotocol=e131\nhost=127.0.0.1\nuniverse=7\nwidth=10\nheight=10\n"  // 7: overlaps
        "[output3]\nprotocol=e131\nhost=127.0.0.2\nuniverse=5\n"                       // another host
        "[output4]\nprotocol=e131\nhost=127.0.0.1\nuniverse=6\nenabled=false\n"       // sends nothing
        "[output5]\nhost=127.0.0.1\nwidth=10\nheight=1\n"                              // bytes 0-29
        "[output6]\nhost=127.0.0.1\nwidth=10\nheight=1\noffset=9\n"                   // bytes 27-56
        "[output7]\nhost=127.0.0.1\nwidth=10\nheight=1\noffset=10\n"                  // bytes 30-59
        "[OUTPUT2]\nhost=127.0.0.1\n");
    ASSERT_EQ(read.outputs.size(), 7u) << "both overlapping outputs still send";
    EXPECT_EQ(read.unreadable, std::vector<std::string>{});
    const std::vector<std::string> expected = {
        "ledoutput.ini [OUTPUT2]: 第 36 行的节名与第 7 行重复，此节不发送",
        "ledoutput.ini [output1] 与 [output2] 都向 127.0.0.1:5568 发送 universe 7（控制器会收到两路数据），两个输出照常发送",
        "ledoutput.ini [output5] 与 [output6] 都向 127.0.0.1:4048 发送 字节偏移 27–29（控制器会收到两路数据），两个输出照常发送",
        "ledoutput.ini [output6] 与 [output7] 都向 127.0.0.1:4048 发送 字节偏移 30–56（控制器会收到两路数据），两个输出照常发送",
    };
    EXPECT_EQ(read.problems, expected);
}

// The file as an installer keeps it: comments, odd spellings, a value it mistyped.
constexpr const char* kInstallersFile =
    "; sign at the north gate\r\n"
    "[output1]\r\n"
    "protocol=DDP        ; the left panel\r\n"
    "host=127.0.0.1\r\n"
    "colors=grb\r\n"
    "gamma=2.20          ; measured 2011\r\n"
    "\r\n"
    "[output3]\r\n"
    "host=127.0.0.1\r\n"
    "gamma=2,2\r\n"
    "\r\n"
    "[output2]\r\n"
    "protocol=e131\r\n"
    "universe=3\r\n";

// However long a line or however many problems, a message quotes at most 80 characters of the
// offending text and a list shows 20 problems and how many more there are.
TEST(LedOutputFile, MessagesQuoteAtMost80CharactersAndListAtMost20Problems) {
    const std::string megabyte(1 << 20, 'h');
    EXPECT_EQ(Printable(megabyte), std::string(80, 'h') + "…");
    EXPECT_EQ(Printable(std::string(80, 'h')), std::string(80, 'h')) << "80 characters are shown whole";
    EXPECT_EQ(Printable(std::string(79, 'x') + "中\x01z"), std::string(79, 'x') + "中…") << "characters, not bytes";

    const LedOutputSettings line = ParseLedOutputs("[output1]\nhost=127.0.0.1\n" + megabyte + "\n");
    ASSERT_EQ(line.problems.size(), 1u);
    EXPECT_LT(line.problems[0].size(), 200u) << line.problems[0].substr(0, 300);
    LedOutputConfig far;
    far.section = "output1";
    far.host = megabyte;
    EXPECT_LT(Describe(far).size(), 120u);

    std::string sections;
    for (int i = 0; i < 80'000; ++i) sections += "[odd" + std::to_string(i) + "]\n";
    const LedOutputSettings many = ParseLedOutputs(sections);
    ASSERT_EQ(many.problems.size(), 80'000u);
    const std::string list = ProblemList(many.problems);
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 20);
    EXPECT_EQ(list.substr(list.rfind('\n') + 1), "另有 79980 处");
    EXPECT_EQ(ProblemList({"a", "b"}, "；"), "a；b");
}

// Settings that would go unnoticed are reported when read; the outputs still send.
TEST(LedOutputFile, QuietMistakesAreReportedWhenRead) {
    const struct {
        const char* keys;
        const char* problem;  // "" for none
    } cases[] = {
        {"protocol=ddp\nhost=h\nuniverse=4\n", "[output1] universe: ddp 不用此键"},
        {"protocol=ddp\nhost=h\npriority=150\n", "[output1] priority: ddp 不用此键"},
        {"protocol=ddp\nhost=h\nsync=7\n", "[output1] sync: ddp 不用此键"},
        {"protocol=artnet\nhost=h\npriority=150\n", "[output1] priority: artnet 不用此键"},
        {"protocol=e131\nstart_channel=511\n", "[output1] start_channel: 从 511 起第一个 universe 放不下一个像素"},
        {"protocol=e131\nstart_channel=510\n", ""},
        {"protocol=artnet\nhost=h\ncolors=RGBW\nstart_channel=510\n", "每像素 4 个通道，最大 509"},
        {"protocol=artnet\nhost=h\ncolors=GRBW\nstart_channel=509\n", ""},
    };
    for (const auto& c : cases) {
        const LedOutputSettings read = ParseLedOutputs(std::string("[output1]\n") + c.keys);
        ASSERT_EQ(read.outputs.size(), 1u) << c.keys;
        if (*c.problem == 0) {
            EXPECT_TRUE(read.problems.empty()) << c.keys << read.problems.front();
            continue;
        }
        ASSERT_EQ(read.problems.size(), 1u) << c.keys;
        EXPECT_NE(read.problems[0].find(c.problem), std::string::npos) << read.problems[0];
    }
    // Written differently, one controller: told once both addresses are known.
    LedOutputConfig a, b;
    a.section = "output1";
    a.host = "localhost";
    b.section = "output2";
    b.host = "127.0.0.1";
    EXPECT_NE(SameAddressOverlap(a, b, "127.0.0.1").find("是同一个控制器 127.0.0.1:4048，都发送 字节偏移 0–24575"),
              std::string::npos);
    b.offset = a.PixelCount();
    EXPECT_EQ(SameAddressOverlap(a, b, "127.0.0.1"), "") << "side by side in the chain";
}

TEST(LedOutputFile, EditsChangeOnlyTheirOwnValuesInPlace) {
    const LedOutputSettings read = ParseLedOutputs(kInstallersFile);
    ASSERT_EQ(read.outputs.size(), 2u);
    EXPECT_EQ(read.unreadable, std::vector<std::string>{"output3"});
    // Nothing changed: not one byte either.
    EXPECT_EQ(EditLedOutputText(kInstallersFile, read.outputs, {}), kInstallersFile);

    std::vector<LedOutputConfig> outputs = read.outputs;
    outputs[0].protocol = LedProtocol::ArtNet;  // its port follows: a key of its own
    outputs[0].port = kArtNetDefaultPort;
    outputs[0].universe = 0;
    outputs[0].colors = ColorOrder::GRBW;
    outputs[1].universe = 12;
    LedOutputConfig added;
    added.section = FreeSectionName(kInstallersFile, {"output1", "output2"});
    EXPECT_EQ(added.section, "output4") << "output3 is taken by the section that could not be read";
    added.host = "127.0.0.1";
    outputs.push_back(added);
    EXPECT_EQ(EditLedOutputText(kInstallersFile, outputs, {"output2"}),
              "; sign at the north gate\r\n"
              "[output1]\r\n"
              "protocol=artnet        ; the left panel\r\n"
              "host=127.0.0.1\r\n"
              "colors=GRBW\r\n"
              "gamma=2.20          ; measured 2011\r\n"
              "port=6454\r\n"
              "universe=0\r\n"
              "\r\n"
              "[output3]\r\n"
              "host=127.0.0.1\r\n"
              "gamma=2,2\r\n"
              "\r\n"
              "\r\n"
              "[output4]\r\n"
              "protocol=ddp\r\nhost=127.0.0.1\r\nport=4048\r\nuniverse=1\r\nx=0\r\ny=0\r\nwidth=128\r\n"
              "height=64\r\nstart=topleft\r\nlines=rows\r\nserpentine=false\r\ncolors=RGB\r\nbrightness=100\r\n"
              "gamma=1.0\r\nttl=1\r\ninterface=\r\nrate=40\r\n");
}

TEST(LedOutputFile, RegionsOutsideThePageAreReported) {
    LedOutputConfig inside, across, off;
    inside.section = "output1";
    inside.width = 64;
    inside.height = 40;
    across.section = "output2";
    across.x = 50;
    across.width = 20;
    across.height = 10;
    off = across;
    off.section = "output3";
    off.enabled = false;
    EXPECT_EQ(RegionProblems({inside, across, off}, 64, 40),
              std::vector<std::string>{"ledoutput.ini [output2]: 区域 (50, 0, 20×10) 超出页面 (64×40)，页面以外的像素发送黑色"});
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

TEST(PixelMapping, WhiteIsTheSmallestColourTakenOffEach) {
    QImage picture(3, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(200, 100, 50));
    picture.setPixel(1, 0, qRgb(255, 255, 255));
    picture.setPixel(2, 0, qRgb(0, 80, 10));
    LedOutputConfig o;
    o.width = 4;  // the fourth pixel lies outside the picture: black
    o.height = 1;
    struct Case {
        ColorOrder order;
        std::vector<std::uint8_t> wire;
    };
    const Case cases[] = {
        {ColorOrder::RGBW, {150, 50, 0, 50, 0, 0, 0, 255, 0, 80, 10, 0, 0, 0, 0, 0}},
        {ColorOrder::GRBW, {50, 150, 0, 50, 0, 0, 0, 255, 80, 0, 10, 0, 0, 0, 0, 0}},
        {ColorOrder::WRGB, {50, 150, 50, 0, 255, 0, 0, 0, 0, 0, 80, 10, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        o.colors = c.order;
        PixelMap map(o);
        ASSERT_EQ(map.Bytes(), 16);
        std::vector<std::uint8_t> wire(16, 0xEE);
        map.Map(picture, wire.data());
        EXPECT_EQ(wire, c.wire) << ColorOrderName(c.order);
        // The preview adds white back.
        std::vector<std::uint32_t> region(4);
        map.Unmap(wire.data(), region.data());
        EXPECT_EQ(region, (std::vector<std::uint32_t>{0xC86432, 0xFFFFFF, 0x00500A, 0})) << ColorOrderName(c.order);
    }
}

// Rows long enough for the mapping's 16-pixel blocks and their tails, walked both ways, against
// every pixel's bytes worked out alone; then a changed row through Update.
TEST(PixelMapping, WideRowsMapAsEachPixelWorkedOutAlone) {
    QImage picture(41, 5, QImage::Format_RGB32);
    std::uint32_t seed = 7;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            picture.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    auto expected = [&](const LedOutputConfig& o) {
        const auto level = LevelTable(o.brightness, o.gamma);
        const std::string order(ColorOrderName(o.colors));
        std::vector<std::uint8_t> wire;
        for (const std::uint32_t at : ChainOrder(o)) {
            const QPoint p(o.x + static_cast<int>(at % static_cast<std::uint32_t>(o.width)),
                           o.y + static_cast<int>(at / static_cast<std::uint32_t>(o.width)));
            const QRgb c = picture.rect().contains(p) ? picture.pixel(p) : 0;
            const int white = order.size() == 4 ? level[std::min({qRed(c), qGreen(c), qBlue(c)})] : 0;
            for (const char k : order)
                wire.push_back(static_cast<std::uint8_t>(
                    k == 'W' ? white : level[k == 'R' ? qRed(c) : k == 'G' ? qGreen(c) : qBlue(c)] - white));
        }
        return wire;
    };
    struct Case {
        PanelStart start;
        bool columns;
        QRect region;
    };
    const Case layouts[] = {
        {PanelStart::BottomLeft, false, {0, 0, 41, 5}},
        {PanelStart::TopRight, false, {2, 1, 38, 3}},
        {PanelStart::TopLeft, true, {0, 0, 41, 5}},
        {PanelStart::TopLeft, false, {10, 2, 40, 4}},  // past the picture's right and bottom edges
    };
    for (const ColorOrder order : {ColorOrder::RGB, ColorOrder::GRB, ColorOrder::BGR, ColorOrder::RGBW,
                                   ColorOrder::GRBW, ColorOrder::WRGB}) {
        for (const Case& c : layouts) {
            LedOutputConfig o;
            o.x = c.region.x();
            o.y = c.region.y();
            o.width = c.region.width();
            o.height = c.region.height();
            o.start = c.start;
            o.columns = c.columns;
            o.serpentine = true;
            o.colors = order;
            o.brightness = 80;
            o.gamma = 2.2;
            const std::string name = std::string(ColorOrderName(order)) + " " + std::string(StartName(c.start)) +
                                     (c.columns ? " columns" : " rows");
            PixelMap map(o);
            std::vector<std::uint8_t> wire(static_cast<size_t>(map.Bytes()), 0xEE);
            map.Update(picture, wire.data());
            ASSERT_EQ(wire, expected(o)) << name;
            const QImage kept = picture;
            for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, 2, ~picture.pixel(x, 2) | 0xFF000000u);
            ASSERT_TRUE(map.Update(picture, wire.data()));
            EXPECT_EQ(wire, expected(o)) << name << ", a row changed";
            picture = kept;
        }
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
