#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <set>

#include <QCoreApplication>
#include <QTest>

#include "core/clock.h"
#include "output/ledoutputengine.h"
#include "output/packets.h"
#include "qtbase/application.h"
#include "outputfixture.h"
#include "support/udpreceiver.h"

namespace zl {
namespace {

using testing::Be16;
using testing::Be32;
using testing::UdpReceiver;

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& p, size_t from, size_t count) {
    return {p.begin() + static_cast<long>(from), p.begin() + static_cast<long>(from + count)};
}

// The frame a controller rebuilds from DDP packets: data placed at each packet's offset.
std::vector<std::uint8_t> FromDdp(const std::vector<std::vector<std::uint8_t>>& packets, size_t bytes) {
    std::vector<std::uint8_t> frame(bytes, 0xEE);
    for (const auto& p : packets) {
        EXPECT_LE(p.size(), kDdpHeaderSize + kDdpMaxData);
        const size_t offset = Be32(p, 4), length = Be16(p, 8);
        EXPECT_EQ(p.size(), kDdpHeaderSize + length);
        EXPECT_LE(offset + length, bytes);
        std::copy(p.begin() + kDdpHeaderSize, p.end(), frame.begin() + static_cast<long>(offset));
    }
    return frame;
}

// The frame rebuilt from E1.31 universes: 170 pixels each, the channels after them zero.
std::vector<std::uint8_t> FromE131(const std::vector<std::vector<std::uint8_t>>& packets, int first, size_t bytes) {
    std::vector<std::uint8_t> frame(bytes, 0xEE);
    for (const auto& p : packets) {
        EXPECT_EQ(p.size(), kE131PacketSize);
        const size_t offset = (Be16(p, 113) - first) * 510;
        const size_t length = std::min<size_t>(510, bytes - offset);
        std::copy(p.begin() + kE131HeaderSize, p.begin() + static_cast<long>(kE131HeaderSize + length),
                  frame.begin() + static_cast<long>(offset));
        for (size_t c = kE131HeaderSize + length; c < p.size(); ++c) EXPECT_EQ(p[c], 0) << "channel " << c;
    }
    return frame;
}

class LedEngine : public ::testing::Test {
protected:
    // Gives the first label, which spans the left of the page, a colour it never had before.
    void ChangePicture() {
        static int shade = 0;
        shade = (shade + 1) % 200;
        page_->ChildControls().front()->SetColor(static_cast<TColor>(0x00000020 + shade));
    }

    ManualTimeSource clock_{0};
    ScopedTimeSource scope_{clock_};
    UdpReceiver receiver_;
    std::unique_ptr<TFrmZorLedForm> page_ = testing::MakeTestPage();

    LedOutputConfig Output(LedProtocol protocol, QRect region) const {
        LedOutputConfig o;
        o.section = "output1";
        o.protocol = protocol;
        o.host = "127.0.0.1";
        o.port = receiver_.Port();
        o.universe = 3;
        o.x = region.x();
        o.y = region.y();
        o.width = region.width();
        o.height = region.height();
        return o;
    }
    std::unique_ptr<LedOutputEngine> Engine(std::vector<LedOutputConfig> outputs) {
        auto engine = std::make_unique<LedOutputEngine>([this]() -> QWidget* { return page_.get(); });
        engine->SetOutputs(std::move(outputs));
        return engine;
    }
};

TEST_F(LedEngine, ThePageRegionArrivesAsTheControllerMustShowIt) {
    ASSERT_TRUE(receiver_.Ready());
    const QImage expected = testing::PagePixels(*page_);
    // The designer's grips are on the page while it streams; they must not reach the LEDs.
    Control* label = page_->ChildControls().front();
    page_->Selection->Add(label);
    page_->Selection->LayoutGrips(*label, 0, true);
    ASSERT_NE(testing::PagePixels(*page_), expected) << "the grips should show on screen";

    struct Case {
        LedProtocol protocol;
        QRect region;
        PanelStart start;
        bool columns, serpentine;
        ColorOrder colors;
        int brightness;
        double gamma;
    };
    const Case cases[] = {
        {LedProtocol::Ddp, {0, 0, 64, 40}, PanelStart::TopLeft, false, false, ColorOrder::RGB, 100, 1.0},
        {LedProtocol::Ddp, {5, 3, 40, 30}, PanelStart::BottomRight, false, true, ColorOrder::GRB, 50, 2.2},
        {LedProtocol::E131, {10, 0, 30, 40}, PanelStart::TopRight, true, true, ColorOrder::RGB, 100, 1.0},
        // Past the page's right and bottom edges: black there.
        {LedProtocol::E131, {50, 20, 30, 30}, PanelStart::BottomLeft, true, false, ColorOrder::GRB, 50, 2.2},
    };
    for (const Case& c : cases) {
        LedOutputConfig o = Output(c.protocol, c.region);
        o.start = c.start;
        o.columns = c.columns;
        o.serpentine = c.serpentine;
        o.colors = c.colors;
        o.brightness = c.brightness;
        o.gamma = c.gamma;
        auto engine = Engine({o});
        engine->Start();
        clock_.Advance(LedOutputEngine::TickInterval(o.rate));
        const auto packets = receiver_.Take();
        const size_t bytes = static_cast<size_t>(o.PixelCount()) * 3;
        const auto frame = c.protocol == LedProtocol::Ddp ? FromDdp(packets, bytes) : FromE131(packets, o.universe, bytes);
        EXPECT_EQ(packets.size(), c.protocol == LedProtocol::Ddp ? DdpPacketCount(bytes) : E131UniverseCount(o.PixelCount()));
        EXPECT_TRUE(frame == testing::ExpectedWire(expected, o))
            << ProtocolName(c.protocol) << " " << StartName(c.start) << " columns " << c.columns << " serpentine "
            << c.serpentine << " " << ColorOrderName(c.colors);
        engine.reset();
        receiver_.Take();
    }
}

// A page on show is taken from what its window drew for the screen: the frame is still the
// page as it shows, follows what the page paints next, and leaves the designer's grips out.
TEST_F(LedEngine, AShownPageArrivesAsItsWindowDrewIt) {
    ASSERT_TRUE(receiver_.Ready());
    page_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
    QCoreApplication::processEvents();
    const LedOutputConfig o = Output(LedProtocol::Ddp, {5, 3, 40, 30});
    const size_t bytes = static_cast<size_t>(o.PixelCount()) * 3;
    auto engine = Engine({o});
    engine->Start();
    auto frame = [&] {
        QCoreApplication::processEvents();
        receiver_.Take();
        clock_.Advance(LedOutputEngine::TickInterval(o.rate));
        return FromDdp(receiver_.Take(), bytes);
    };
    const QImage before = testing::PagePixels(*page_);
    EXPECT_TRUE(frame() == testing::ExpectedWire(before, o)) << "as shown";

    Control* label = page_->ChildControls().front();
    label->SetColor(clWhite);
    QCoreApplication::processEvents();
    const QImage after = testing::PagePixels(*page_);
    ASSERT_NE(after, before);
    EXPECT_TRUE(frame() == testing::ExpectedWire(after, o)) << "after the page painted a change";

    page_->Selection->Add(label);
    page_->Selection->LayoutGrips(*label, 0, true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame() == testing::ExpectedWire(after, o)) << "the grips stay off the LEDs";
}

TEST(LedPackets, DdpFrameOf512By256PixelsInPacketsByteByByte) {
    std::vector<std::uint8_t> wire(512 * 256 * 3);
    for (size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<std::uint8_t>(i % 251);
    DdpFramer framer;
    PacketBatch batch;
    framer.Prepare(batch, wire.size());
    framer.Frame(wire.data(), wire.size(), batch);
    ASSERT_EQ(batch.Count(), 274u);

    const auto first = batch.Bytes(0);
    ASSERT_EQ(first.size(), 1450u);
    EXPECT_EQ(Slice(first, 0, 10), (std::vector<std::uint8_t>{0x40, 0x01, 0x0B, 0x01, 0, 0, 0, 0, 0x05, 0xA0}));
    EXPECT_EQ(Slice(first, 10, 1440), Slice(wire, 0, 1440));

    // 273 * 1440 = 393120 = 0x0005FFA0; 96 bytes left; sequence 273 % 15 + 1 = 4; push.
    const auto last = batch.Bytes(273);
    ASSERT_EQ(last.size(), 106u);
    EXPECT_EQ(Slice(last, 0, 10), (std::vector<std::uint8_t>{0x41, 0x04, 0x0B, 0x01, 0x00, 0x05, 0xFF, 0xA0, 0x00, 0x60}));
    EXPECT_EQ(Slice(last, 10, 96), Slice(wire, 393120, 96));

    for (size_t i = 0; i < batch.Count(); ++i) {
        const auto p = batch.Bytes(i);
        EXPECT_EQ(p[0], i + 1 == batch.Count() ? 0x41 : 0x40) << "push only on the last packet, " << i;
        EXPECT_EQ(p[1], i % 15 + 1) << "sequence 1..15 wrapping, " << i;
    }
    framer.Frame(wire.data(), wire.size(), batch);
    EXPECT_EQ(batch.Bytes(0)[1], 274 % 15 + 1) << "the next frame goes on counting";

    // Packets that read the wire in place carry the same bytes; copying again makes them whole.
    DdpFramer copying, borrowing;
    PacketBatch copied, borrowed;
    copying.Prepare(copied, wire.size());
    borrowing.Prepare(borrowed, wire.size());
    copying.Frame(wire.data(), wire.size(), copied);
    borrowing.FrameBorrowed(wire.data(), wire.size(), borrowed);
    for (size_t i = 0; i < copied.Count(); ++i) ASSERT_EQ(borrowed.Bytes(i), copied.Bytes(i)) << i;
    std::vector<std::uint8_t> other(wire.size(), 0x77);
    borrowing.Frame(other.data(), other.size(), borrowed);
    EXPECT_EQ(Slice(borrowed.Bytes(273), 10, 96), Slice(other, 393120, 96));
    EXPECT_EQ(borrowed.Bytes(273).size(), 106u);
}

TEST(LedPackets, E131FrameOf512By256PixelsInUniversesByteByByte) {
    std::vector<std::uint8_t> wire(512 * 256 * 3);
    for (size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<std::uint8_t>(i % 253 + 1);
    E131Source source;
    std::iota(source.cid.begin(), source.cid.end(), 0xA0);
    source.name = "ZorLED 测试";
    E131Framer framer(source, 7, 512 * 256);
    PacketBatch batch;
    framer.Prepare(batch);
    framer.Frame(wire.data(), wire.size(), 0, batch);
    ASSERT_EQ(batch.Count(), 772u);

    auto header = [&](unsigned sequence, unsigned universe, std::uint8_t options) {
        std::vector<std::uint8_t> h = {0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0,
                                       0x72, 0x6E, 0x00, 0x00, 0x00, 0x04};
        for (std::uint8_t b : source.cid) h.push_back(b);
        h.insert(h.end(), {0x72, 0x58, 0x00, 0x00, 0x00, 0x02});
        std::vector<std::uint8_t> name(64, 0);
        std::copy(source.name.begin(), source.name.end(), name.begin());
        h.insert(h.end(), name.begin(), name.end());
        h.insert(h.end(), {100, 0x00, 0x00, static_cast<std::uint8_t>(sequence), options,
                           static_cast<std::uint8_t>(universe >> 8), static_cast<std::uint8_t>(universe)});
        h.insert(h.end(), {0x72, 0x0B, 0x02, 0xA1, 0x00, 0x00, 0x00, 0x01, 0x02, 0x01, 0x00});
        return h;
    };
    const auto first = batch.Bytes(0);
    ASSERT_EQ(first.size(), 638u);
    EXPECT_EQ(Slice(first, 0, 126), header(1, 7, 0));
    EXPECT_EQ(Slice(first, 126, 510), Slice(wire, 0, 510));
    EXPECT_EQ(Slice(first, 636, 2), (std::vector<std::uint8_t>{0, 0}));

    // The last universe, 7 + 771, holds 131072 - 771 * 170 = 2 pixels; the rest is zero.
    const auto last = batch.Bytes(771);
    ASSERT_EQ(last.size(), 638u);
    EXPECT_EQ(Slice(last, 0, 126), header(1, 778, 0));
    EXPECT_EQ(Slice(last, 126, 6), Slice(wire, 771 * 510, 6));
    EXPECT_EQ(Slice(last, 132, 506), std::vector<std::uint8_t>(506, 0));

    // Each universe counts its own packets, 1..255 then 0 again.
    E131Framer one(source, 1, 100);
    PacketBatch single;
    one.Prepare(single);
    std::vector<unsigned> sequences;
    for (int i = 0; i < 257; ++i) {
        one.Frame(wire.data(), 300, i == 256 ? kE131StreamTerminated : 0, single);
        sequences.push_back(single.Bytes(0)[111]);
    }
    EXPECT_EQ(sequences[0], 1u);
    EXPECT_EQ(sequences[254], 255u);
    EXPECT_EQ(sequences[255], 0u);
    EXPECT_EQ(sequences[256], 1u);
    EXPECT_EQ(single.Bytes(0)[112], kE131StreamTerminated);
}

TEST_F(LedEngine, AnUnchangedPictureGoesOutThreeTimesThenOnceASecond) {
    auto engine = Engine({Output(LedProtocol::Ddp, {0, 0, 32, 16})});
    std::vector<LocalMs> sent;
    engine->FrameSent = [&](int, const std::uint8_t*, size_t) { sent.push_back(clock_.Now()); };
    engine->Start();
    clock_.Advance(3100);
    EXPECT_EQ(sent, (std::vector<LocalMs>{25, 50, 75, 1075, 2075, 3075}));

    // A change goes out at once and starts the count again.
    sent.clear();
    ChangePicture();
    clock_.Advance(1500);
    EXPECT_EQ(sent, (std::vector<LocalMs>{3125, 3150, 3175, 4175}));
    EXPECT_EQ(engine->Stats(0).frames, 10);
    // Only the frames counted above reached the receiver, each one whole with its push.
    const auto packets = receiver_.Take();
    EXPECT_EQ(packets.size(), 10u * 2);
    EXPECT_EQ(packets.back()[0], 0x41);
    engine.reset();

    // A slower output keeps the keep-alive within the second however its ticks fall.
    LedOutputConfig slow = Output(LedProtocol::Ddp, {0, 0, 8, 8});
    slow.rate = 30;  // a tick every 33.3 ms: at whole milliseconds 34, 67, 100, ...
    auto other = Engine({slow});
    sent.clear();
    other->FrameSent = [&](int, const std::uint8_t*, size_t) { sent.push_back(clock_.Now()); };
    const LocalMs start = clock_.Now();
    other->Start();
    clock_.Advance(2100);
    ASSERT_EQ(sent.size(), 5u);
    for (size_t i = 3; i < sent.size(); ++i) EXPECT_LE(sent[i] - sent[i - 1], 1000) << i;
    EXPECT_EQ(sent[0], start + 34);
}

TEST_F(LedEngine, StoppingSendsThreeTerminatingPacketsPerUniverse) {
    LedOutputConfig o = Output(LedProtocol::E131, {0, 0, 20, 20});  // 400 pixels: 3 universes
    auto engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    const auto data = receiver_.Take();
    ASSERT_EQ(data.size(), 3u);
    engine->Stop();
    const auto ending = receiver_.Take();
    ASSERT_EQ(ending.size(), 9u);
    for (size_t i = 0; i < ending.size(); ++i) {
        const auto& p = ending[i];
        ASSERT_EQ(p.size(), kE131PacketSize);
        EXPECT_EQ(p[112], kE131StreamTerminated) << i;
        const size_t universe = Be16(p, 113) - o.universe;
        EXPECT_EQ(p[111], 2 + i / 3) << "each universe goes on counting";
        EXPECT_EQ(Slice(p, 126, 512), Slice(data[universe], 126, 512));
    }
    // Nothing more once stopped, and a second stop ends nothing twice.
    clock_.Advance(2000);
    engine->Stop();
    EXPECT_TRUE(receiver_.Take().empty());

    // The program ending does the same.
    engine->Start();
    clock_.Advance(25);
    receiver_.Take();
    engine.reset();
    EXPECT_EQ(receiver_.Take().size(), 9u);
}

// Collects what the engine logs, so "reported once" can be counted.
class LogCapture {
public:
    LogCapture() { previous_ = qInstallMessageHandler(&LogCapture::Handle); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static std::vector<std::pair<QtMsgType, QString>>& Lines() {
        static std::vector<std::pair<QtMsgType, QString>> lines;
        return lines;
    }
    static long Count(QtMsgType type, const char* text) {
        return std::count_if(Lines().begin(), Lines().end(), [&](const auto& l) {
            return l.first == type && l.second.contains(QString::fromUtf8(text));
        });
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
        Lines().emplace_back(type, message);
    }
    QtMessageHandler previous_;
};

int g_failWith = 0;
int FailingSend(int fd, mmsghdr* messages, unsigned count, int flags) {
    if (g_failWith == 0) return SystemSendBatch(fd, messages, count, flags);
    errno = g_failWith;
    return -1;
}

TEST_F(LedEngine, AHostThatDoesNotResolveOrAFailingNetworkIsReportedOnceAndPlayGoesOn) {
    LogCapture log;
    LogCapture::Lines().clear();
    LedOutputConfig lost = Output(LedProtocol::Ddp, {0, 0, 16, 16});
    lost.host = "sign.invalid";
    lost.section = "output1";
    LedOutputConfig fine = Output(LedProtocol::Ddp, {16, 0, 16, 16});
    fine.section = "output2";
    auto engine = Engine({lost, fine});
    std::vector<std::string> asked;
    engine->SetResolver([&asked](const std::string& host) -> std::optional<in_addr> {
        asked.push_back(host);  // read by the test only after WaitForLookups
        return std::nullopt;
    });
    std::vector<int> framesOf(2, 0);
    engine->FrameSent = [&](int index, const std::uint8_t*, size_t) { ++framesOf[static_cast<size_t>(index)]; };
    engine->Start();
    engine->WaitForLookups();
    clock_.Advance(25);
    // The looked-up output still composes its frames (the preview shows them); the other one sends.
    EXPECT_EQ(framesOf, (std::vector<int>{1, 1}));
    EXPECT_EQ(receiver_.Take().size(), 1u);
    EXPECT_TRUE(engine->Status().contains(QString::fromUtf8("无法解析主机名 sign.invalid"))) << engine->Status().toStdString();
    for (int i = 0; i < 20; ++i) {
        ChangePicture();
        clock_.Advance(25);
        engine->WaitForLookups();
    }
    EXPECT_EQ(framesOf, (std::vector<int>{21, 21}));
    EXPECT_EQ(receiver_.Take().size(), 20u);
    EXPECT_EQ(LogCapture::Count(QtWarningMsg, "sign.invalid"), 1);
    EXPECT_EQ(asked, std::vector<std::string>{"sign.invalid"});
    EXPECT_EQ(engine->Stats(0).failures, 0) << "frames with no address to go to are no failed sends";
    // It is looked up again a while later, still reported only once.
    clock_.Advance(5000);
    engine->WaitForLookups();
    clock_.Advance(25);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(LogCapture::Count(QtWarningMsg, "sign.invalid"), 1);

    // An unreachable network, then a full send buffer: each reported once, then recovery.
    engine->SetSendCall(FailingSend);
    for (int error : {ENETUNREACH, EAGAIN}) {
        g_failWith = error;
        for (int i = 0; i < 10; ++i) {
            ChangePicture();
            clock_.Advance(25);
        }
        EXPECT_EQ(LogCapture::Count(QtWarningMsg, std::strerror(error)), 1) << error;
        EXPECT_TRUE(engine->Status().contains(QString::fromUtf8(std::strerror(error))));
    }
    g_failWith = 0;
    const long long before = engine->Stats(1).frames;
    ChangePicture();
    clock_.Advance(25);
    EXPECT_EQ(engine->Stats(1).frames, before + 1);
    EXPECT_EQ(LogCapture::Count(QtInfoMsg, "output2"), 1);
    EXPECT_FALSE(engine->Status().contains("output2"));
    EXPECT_GT(engine->Stats(1).failures, 0);
}

// A thousand refusing outputs: each change is told once, in one line of its own, and the status
// line lists 20 of them and the count of the rest.
TEST_F(LedEngine, AThousandFailingOutputsTellEachChangeOnceInALineOfItsOwn) {
    std::vector<LedOutputConfig> outputs;
    for (int i = 0; i < 1000; ++i) {
        LedOutputConfig o = Output(LedProtocol::Ddp, {0, 0, 1, 1});
        o.section = "output" + std::to_string(i + 1);
        outputs.push_back(o);
    }
    auto engine = Engine(outputs);
    engine->SetSendCall(FailingSend);
    std::vector<std::string> lines;
    engine->OutputChanged = [&](const std::string& line) { lines.push_back(line); };
    size_t longestStatus = 0;
    engine->StatusChanged = [&](const QString& status) { longestStatus = std::max<size_t>(longestStatus, status.size()); };
    g_failWith = ECONNREFUSED;
    engine->Start();
    clock_.Advance(100);
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(lines[999], "output1000 ddp 127.0.0.1:" + std::to_string(receiver_.Port()) + "：发送失败：" +
                              std::strerror(ECONNREFUSED));
    EXPECT_TRUE(engine->Status().endsWith(QString::fromUtf8("另有 980 处")));
    EXPECT_LT(longestStatus, 3000u);
    g_failWith = 0;
    clock_.Advance(1000);  // the keep-alive sends the unchanged picture again
    ASSERT_EQ(lines.size(), 2000u) << "and once more each when it sends again";
    EXPECT_NE(lines[1999].find("output1000"), std::string::npos);
}

// "localhost" and "127.0.0.1" are one controller: once the name resolved, overlapping pixels
// there are reported, once.
TEST_F(LedEngine, HostsWrittenDifferentlyAreComparedByTheirAddresses) {
    LedOutputConfig byName = Output(LedProtocol::Ddp, {0, 0, 8, 8});
    byName.host = "localhost";
    LedOutputConfig byNumber = Output(LedProtocol::Ddp, {8, 0, 8, 8});
    byNumber.section = "output2";
    auto engine = Engine({byName, byNumber});
    engine->SetResolver([](const std::string&) -> std::optional<in_addr> {
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        return loopback;
    });
    std::vector<QString> reported;
    const ErrorReporter before = SetErrorReporter([&](const QString& m) { reported.push_back(m); });
    engine->Start();
    engine->WaitForLookups();
    clock_.Advance(100);
    SetErrorReporter(before);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_TRUE(reported[0].contains(QString::fromUtf8("[output1] 的 localhost 与 [output2] 的 127.0.0.1 是同一个控制器 127.0.0.1")))
        << reported[0].toStdString();
}

TEST_F(LedEngine, ADisabledOutputSendsNothingAndTheOthersGoOn) {
    LedOutputConfig off = Output(LedProtocol::E131, {0, 0, 8, 8});
    off.enabled = false;
    testing::UdpReceiver other;
    LedOutputConfig on = Output(LedProtocol::Ddp, {0, 0, 8, 8});
    on.port = other.Port();
    auto engine = Engine({off, on});
    engine->Start();
    clock_.Advance(2000);
    engine->Stop();
    EXPECT_TRUE(receiver_.Take().empty()) << "no data and no terminations";
    EXPECT_EQ(engine->Stats(0).frames, 0);
    EXPECT_FALSE(other.Take().empty());
}

TEST_F(LedEngine, StartChannelAndPixelsPerUniversePlaceThePixels) {
    // 100 pixels: 30 from channel 100 of universe 3, then 30, 30 and 10 from channel 1.
    struct Case {
        LedProtocol protocol;
        ColorOrder colors;
    };
    for (const Case& c : {Case{LedProtocol::E131, ColorOrder::RGB}, Case{LedProtocol::ArtNet, ColorOrder::GRBW}}) {
        LedOutputConfig o = Output(c.protocol, {3, 2, 10, 10});
        o.startChannel = 100;
        o.pixelsPerUniverse = 30;
        o.colors = c.colors;
        const size_t channels = static_cast<size_t>(o.Channels());
        auto engine = Engine({o});
        std::vector<std::uint8_t> wire;
        engine->FrameSent = [&](int, const std::uint8_t* w, size_t bytes) { wire.assign(w, w + bytes); };
        engine->Start();
        clock_.Advance(25);
        const auto packets = receiver_.Take();
        ASSERT_EQ(packets.size(), 4u);
        const size_t header = c.protocol == LedProtocol::E131 ? kE131HeaderSize : kArtNetHeaderSize;
        const size_t firstChannel[] = {99, 0, 0, 0};
        const size_t pixels[] = {30, 30, 30, 10};
        size_t from = 0;
        for (size_t u = 0; u < 4; ++u) {
            const auto& p = packets[u];
            const size_t bytes = pixels[u] * channels;
            EXPECT_EQ(Slice(p, header + firstChannel[u], bytes), Slice(wire, from, bytes)) << u;
            EXPECT_EQ(Slice(p, header, firstChannel[u]), std::vector<std::uint8_t>(firstChannel[u], 0)) << u;
            from += bytes;
        }
        ASSERT_EQ(from, wire.size());
        // The first pixel is the region's top left, where the page shows the first label's ground.
        const QRgb ground = testing::PagePixels(*page_).pixel(3, 2);
        if (channels == 3) EXPECT_EQ(Slice(packets[0], header + 99, 3), (std::vector<std::uint8_t>{
            static_cast<std::uint8_t>(qRed(ground)), static_cast<std::uint8_t>(qGreen(ground)),
            static_cast<std::uint8_t>(qBlue(ground))}));
        engine.reset();
        receiver_.Take();
    }
}

TEST_F(LedEngine, DdpOffsetPlacesTheFirstPixelInTheControllersChain) {
    LedOutputConfig o = Output(LedProtocol::Ddp, {0, 0, 20, 30});  // 600 pixels: 2 packets
    o.offset = 1000;
    auto engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    auto packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(Be32(packets[0], 4), 3000u);
    EXPECT_EQ(Be32(packets[1], 4), 3000u + kDdpMaxData);
    EXPECT_EQ(packets[0][2], 0x0B) << "RGB, 8 bits";
    engine.reset();
    receiver_.Take();
    // With white, four bytes a pixel and the RGBW data type.
    o.colors = ColorOrder::RGBW;
    engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(Be32(packets[0], 4), 4000u);
    EXPECT_EQ(packets[0][2], 0x1B);
    EXPECT_EQ(Be16(packets[0], 8) + Be16(packets[1], 8), 2400u);
}

TEST_F(LedEngine, E131SyncPacketFollowsEachFrameWithItsOwnSequence) {
    LedOutputConfig o = Output(LedProtocol::E131, {0, 0, 20, 20});  // 3 universes
    o.sync = 0x1234;
    o.priority = 150;
    E131Source source;
    std::iota(source.cid.begin(), source.cid.end(), 0x10);
    source.name = "sync";
    auto engine = std::make_unique<LedOutputEngine>([this]() -> QWidget* { return page_.get(); }, source);
    engine->SetOutputs({o});
    engine->Start();
    for (int frame = 1; frame <= 3; ++frame) {
        if (frame > 1) ChangePicture();
        clock_.Advance(25);
        const auto packets = receiver_.Take();
        ASSERT_EQ(packets.size(), 4u) << frame;
        for (size_t u = 0; u < 3; ++u) {
            EXPECT_EQ(packets[u][108], 150) << "priority";
            EXPECT_EQ(Be16(packets[u], 109), 0x1234u) << "synchronisation address";
            EXPECT_EQ(packets[u][111], frame);
        }
        std::vector<std::uint8_t> expected = {0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-', 'E', '1', '.', '1', '7',
                                              0,    0,    0,    0x70, 0x21, 0x00, 0x00, 0x00, 0x08};
        for (std::uint8_t b : source.cid) expected.push_back(b);
        expected.insert(expected.end(), {0x70, 0x0B, 0x00, 0x00, 0x00, 0x01, static_cast<std::uint8_t>(frame), 0x12,
                                         0x34, 0x00, 0x00});
        EXPECT_EQ(packets[3], expected) << "frame " << frame;
    }
    // The ending has no synchronisation packet.
    engine->Stop();
    EXPECT_EQ(receiver_.Take().size(), 9u);
}

TEST_F(LedEngine, ArtNetSendsArtDmxAndArtSyncByteForByte) {
    LedOutputConfig o = Output(LedProtocol::ArtNet, {0, 0, 20, 10});  // 200 pixels: 170 + 30
    o.universe = 0x1234;  // Net 0x12, SubUni 0x34
    o.sync = 1;
    auto engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    auto packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 3u);
    const std::vector<std::uint8_t> first = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 1, 0, 0x34, 0x12, 0x01, 0xFE};
    EXPECT_EQ(Slice(packets[0], 0, 18), first);
    EXPECT_EQ(packets[0].size(), 18u + 510);
    const std::vector<std::uint8_t> second = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 1, 0, 0x35, 0x12, 0x00, 90};
    EXPECT_EQ(Slice(packets[1], 0, 18), second);
    EXPECT_EQ(packets[1].size(), 18u + 90);
    EXPECT_EQ(packets[2], (std::vector<std::uint8_t>{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x52, 0, 14, 0, 0}));
    std::vector<std::uint8_t> frame(Slice(packets[0], 18, 510));
    const auto rest = Slice(packets[1], 18, 90);
    frame.insert(frame.end(), rest.begin(), rest.end());
    EXPECT_EQ(frame, testing::ExpectedWire(testing::PagePixels(*page_), o));
    // An odd count of channels is sent with one zero channel more; the sequence counts frames.
    engine.reset();
    o.width = 1;
    o.height = 1;
    o.sync = 0;
    engine = Engine({o});
    engine->Start();
    clock_.Advance(50);
    packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].size(), 18u + 4);
    EXPECT_EQ(Be16(packets[0], 16), 4u);
    EXPECT_EQ(packets[1][12], 2);
    engine->Stop();
    EXPECT_TRUE(receiver_.Take().empty()) << "Art-Net has no packet that ends a stream";
}

TEST_F(LedEngine, AClosedPortIsReportedOnceWithTheSystemsText) {
    LogCapture log;
    LogCapture::Lines().clear();
    int closedPort = 0;
    {
        testing::UdpReceiver gone;
        closedPort = gone.Port();
    }
    LedOutputConfig o = Output(LedProtocol::Ddp, {0, 0, 8, 8});
    o.port = closedPort;
    auto engine = Engine({o});
    engine->Start();
    for (int i = 0; i < 10; ++i) {
        ChangePicture();
        clock_.Advance(25);
    }
    const char* refused = std::strerror(ECONNREFUSED);
    EXPECT_EQ(LogCapture::Count(QtWarningMsg, refused), 1);
    EXPECT_TRUE(engine->Status().contains(QString::fromUtf8(refused))) << engine->Status().toStdString();
    const LedOutputStats stats = engine->Stats(0);
    EXPECT_GE(stats.failures, 9) << "a refused frame is not counted as sent";
    EXPECT_LE(stats.frames, 1);
    EXPECT_NE(stats.lastError.find(refused), std::string::npos);
}

TEST_F(LedEngine, PaceSpreadsAFramesPacketsOverItsShareOfTheInterval) {
    LedOutputConfig o = Output(LedProtocol::Ddp, {0, 0, 64, 40});  // 7680 bytes: 6 packets
    o.rate = 10;   // 100 ms a frame
    o.pace = 60;   // spread over 60 ms: one packet every 10 ms
    auto engine = Engine({o});
    std::vector<std::int64_t> waits;
    engine->SetPaceWait([&](std::int64_t until) { waits.push_back(until); });
    engine->Start();
    clock_.Advance(100);
    engine->WaitForPacedSends();
    const auto packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 6u);
    for (size_t i = 0; i < packets.size(); ++i) EXPECT_EQ(Be32(packets[i], 4), i * kDdpMaxData) << "in order";
    ASSERT_EQ(waits.size(), 6u);
    // One packet in each sixth of the 60 ms.
    for (size_t i = 0; i < waits.size(); ++i) EXPECT_EQ(waits[i] - waits[0], static_cast<std::int64_t>(i) * 10'000'000) << i;
    EXPECT_EQ(engine->Stats(0).frames, 1);
    EXPECT_EQ(engine->Stats(0).packets, 6);
}

// The sender is held inside a paced output's first frame: the ticks go on without waiting, an
// unpaced output beside it gets every frame, and of the paced frames that came meanwhile only
// the newest goes out (the one it replaced counted skipped).
TEST_F(LedEngine, APacedFrameStillGoingOutHoldsNoTickAndTheNewestWaitingFrameGoes) {
    LedOutputConfig paced = Output(LedProtocol::Ddp, {0, 0, 64, 40});  // 6 packets
    paced.rate = 10;
    paced.pace = 60;
    testing::UdpReceiver other;
    LedOutputConfig plain = Output(LedProtocol::Ddp, {0, 0, 8, 8});
    plain.section = "output2";
    plain.port = other.Port();
    plain.rate = 10;
    auto engine = Engine({paced, plain});
    std::mutex m;
    std::condition_variable changed;
    bool held = false, released = false;
    engine->SetPaceWait([&](std::int64_t) {
        std::unique_lock lock(m);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    std::vector<std::vector<std::uint8_t>> frames;
    engine->FrameSent = [&](int index, const std::uint8_t* wire, size_t bytes) {
        if (index == 0) frames.emplace_back(wire, wire + bytes);
    };
    engine->Start();
    clock_.Advance(100);
    {
        std::unique_lock lock(m);
        changed.wait(lock, [&] { return held; });
    }
    for (int tick = 0; tick < 2; ++tick) {
        ChangePicture();
        clock_.Advance(100);
    }
    EXPECT_EQ(other.Take().size(), 3u) << "the unpaced output sent on every tick";
    EXPECT_TRUE(receiver_.Take().empty()) << "the paced output's first frame is still held";
    {
        std::lock_guard lock(m);
        released = true;
    }
    changed.notify_all();
    engine->WaitForPacedSends();
    ASSERT_EQ(frames.size(), 3u);
    const auto packets = receiver_.Take();
    ASSERT_EQ(packets.size(), 12u);
    const size_t bytes = frames[0].size();
    EXPECT_EQ(FromDdp({packets.begin(), packets.begin() + 6}, bytes), frames[0]);
    EXPECT_EQ(FromDdp({packets.begin() + 6, packets.end()}, bytes), frames[2]) << "the newest frame, not the one it replaced";
    EXPECT_NE(frames[1], frames[2]);
    EXPECT_EQ(engine->Stats(0).frames, 2);
    EXPECT_EQ(engine->Stats(0).skipped, 1);
    EXPECT_EQ(engine->Stats(0).packets, 12);
}

TEST(LedSchedule, DeadlinesAt60HzOver600TicksSumToExactly10Seconds) {
    for (int rate = 1; rate <= kMaxFrameRate; ++rate) {
        FrameSchedule schedule(rate, 0);
        std::int64_t now = LedOutputEngine::TickInterval(rate);
        std::set<std::int64_t> intervals;
        for (int tick = 1; tick < rate * 10; ++tick) {
            const int wait = schedule.Advance(now * 1'000'000);
            intervals.insert(wait);
            now += wait;
        }
        EXPECT_EQ(now, 10'000) << "rate " << rate;
        const std::int64_t floor = 1000 / rate;
        for (std::int64_t i : intervals) EXPECT_TRUE(i == floor || i == floor + 1) << "rate " << rate << ": " << i;
        if (rate == 60) {
            EXPECT_EQ(intervals, (std::set<std::int64_t>{16, 17}));
        }
    }
    // Five periods of stall: on to the next deadline ahead, no burst.
    FrameSchedule schedule(50, 0);
    EXPECT_EQ(schedule.Advance(20'000'000), 20);
    EXPECT_EQ(schedule.Advance(145'000'000), 15) << "the deadline at 160 ms, not the missed ones";
    EXPECT_EQ(schedule.Advance(160'000'000), 20);
}

TEST_F(LedEngine, ChaseLightsOnePixelWalkingFromTheFirstAtTenASecond) {
    LedOutputConfig o = Output(LedProtocol::Ddp, {0, 0, 4, 2});
    o.serpentine = true;
    auto engine = Engine({o});
    engine->SetTestPattern(0, true, TestPatternKind::Chase);
    std::vector<int> lit;
    engine->FrameSent = [&](int, const std::uint8_t* wire, size_t bytes) {
        int at = -1;
        for (size_t i = 0; i < bytes; i += 3)
            if (wire[i] == 255 && wire[i + 1] == 255 && wire[i + 2] == 255) {
                EXPECT_EQ(at, -1) << "one pixel only";
                at = static_cast<int>(i / 3);
            }
        lit.push_back(at);
    };
    engine->Start();
    clock_.Advance(1000);
    // A frame every 25 ms; the walk moves on every 100 ms and comes round after 8 pixels. An
    // unchanged picture goes out three times.
    std::vector<int> expected;
    for (int t = 25; t <= 1000; t += 25)
        if (t < 100 || t % 100 != 75) expected.push_back(t / 100 % 8);
    EXPECT_EQ(lit, expected);
    // The chain's pixel 1 of this serpentine panel is on the bottom row's right end.
    const auto last = receiver_.Take().back();
    EXPECT_EQ(Slice(last, 10 + 4 * 3, 3), (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST_F(LedEngine, MulticastGoesToTheUniverseGroupOnTheChosenInterface) {
    // Universe 4242 = 0x1092: group 239.255.16.146.
    UdpReceiver group("239.255.16.146");
    if (!group.Ready()) GTEST_SKIP() << "joining a group on the loopback interface is not allowed here";
    LedOutputConfig o = Output(LedProtocol::E131, {0, 0, 10, 10});
    o.host.clear();
    o.universe = 4242;
    o.port = group.Port();
    o.interface = "lo";
    auto engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    EXPECT_EQ(engine->Status().toStdString().find("output1 e131"), std::string::npos) << engine->Status().toStdString();
    const auto packets = group.Take();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(Be16(packets[0], 113), 4242u);
    EXPECT_EQ(FromE131(packets, 4242, 300), testing::ExpectedWire(testing::PagePixels(*page_), o));
    engine.reset();
    group.Take();

    // The synchronisation packet goes to its own universe's group: 4300 = 0x10CC.
    UdpReceiver syncGroup("239.255.16.204");
    ASSERT_TRUE(syncGroup.Ready());
    o.sync = 4300;
    o.port = syncGroup.Port();  // bound to the group's address, it gets what goes to that group alone
    engine = Engine({o});
    engine->Start();
    clock_.Advance(25);
    const auto sync = syncGroup.Take();
    ASSERT_EQ(sync.size(), 1u);
    EXPECT_EQ(sync[0].size(), kE131SyncPacketSize);
    EXPECT_EQ(Be16(sync[0], 45), 4300u);
}


// The schedule's level follows local wall time and fades over two seconds of the monotonic clock.
TEST_F(LedEngine, BrightnessScheduleStepsFadeInTheSentPixels) {
    ASSERT_TRUE(receiver_.Ready());
    page_->SetColor(0x00FFFFFF);
    LedOutputConfig o = Output(LedProtocol::Ddp, {60, 36, 4, 4});  // white ground only
    o.brightnessSchedule = *ParseBrightnessSchedule("06:30=100, 19:00=60,23:00=20");
    const size_t bytes = static_cast<size_t>(o.PixelCount()) * 3;
    auto engine = Engine({o});
    size_t sent = 0, received = 0;
    engine->FrameSent = [&](int, const std::uint8_t*, size_t) { sent += DdpPacketCount(bytes); };
    // What the LEDs show: the last frame that came. A tick that repeats nothing (the frame is
    // unchanged and its keep-alive not due) leaves it; an empty read is no frame of 0xEE bytes.
    std::vector<std::uint8_t> shown;
    const auto arrive = [&] {
        const auto packets = receiver_.Take(sent - received);
        received += packets.size();
        if (!packets.empty()) shown = FromDdp(packets, bytes);
    };
    engine->Start();
    auto level = [&](std::int64_t wait) {
        clock_.Advance(wait - 25);
        arrive();
        clock_.Advance(25);
        arrive();
        return std::set<int>(shown.begin(), shown.end());
    };
    EXPECT_EQ(level(25), std::set<int>{51}) << "before 06:30 the day before's 23:00 step holds";
    clock_.Set(MakeLocalMs(1970, 1, 1, 6, 30));
    EXPECT_EQ(level(25), std::set<int>{51}) << "the fade begins where the level was";
    EXPECT_EQ(level(1000), std::set<int>{153}) << "halfway";
    EXPECT_EQ(level(1000), std::set<int>{255});
    clock_.Set(MakeLocalMs(1970, 1, 1, 19, 0));
    EXPECT_EQ(level(25), std::set<int>{255});
    EXPECT_EQ(level(1000), std::set<int>{204});
    EXPECT_EQ(level(1000), std::set<int>{153});
    EXPECT_EQ(level(1000), std::set<int>{153}) << "3 s after the step: the frame is no longer repeated";
    EXPECT_EQ(level(60'000), std::set<int>{153}) << "kept alive";
}

TEST(LedOutputConfig, BrightnessScheduleReadsOrIsReported) {
    const struct {
        const char* text;
        bool ok;
    } cases[] = {{"06:30=100,19:00=60,23:00=20", true}, {"", true}, {"6:30=100", true}, {"06:30=101", false},
                 {"24:00=5", false}, {"06:30", false}, {"06:30=5,06:30=6", false}, {"06:3=5", false}};
    for (const auto& c : cases) {
        const LedOutputSettings s = ParseLedOutputs(std::string("[output1]\nhost=1.2.3.4\nbrightness_schedule=") + c.text + "\n");
        EXPECT_EQ(s.outputs.size(), c.ok ? 1u : 0u) << c.text;
        if (!c.ok) {
            ASSERT_EQ(s.problems.size(), 1u) << c.text;
            EXPECT_NE(s.problems[0].find("brightness_schedule"), std::string::npos) << s.problems[0];
        }
    }
    const auto steps = *ParseBrightnessSchedule("19:00=60, 06:30=100,23:00=20");
    EXPECT_EQ(BrightnessScheduleText(steps), "06:30=100,19:00=60,23:00=20");
    EXPECT_EQ(ScheduledPercent(steps, MakeLocalMs(2026, 3, 1, 2, 0)), 20);
    EXPECT_EQ(ScheduledPercent(steps, MakeLocalMs(2026, 3, 1, 6, 30)), 100);
    EXPECT_EQ(ScheduledPercent(steps, MakeLocalMs(2026, 3, 1, 18, 59)), 100);
}

}  // namespace
}  // namespace zl
