#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <map>

#include "core/atomicfile.h"
#include "output/packets.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"
#include "support/udpreceiver.h"
#include "widgets/zorledlabel.h"

#include <QImage>

namespace zl {
namespace {

class ToolStream : public ::testing::Test {
protected:
    // Runs `zorled-tool stream` on real time with the scratch folder as its home.
    int Stream(const QStringList& args) { return Tool(QStringList{"stream"} + args); }
    int Tool(const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZORLED_HOME", QString::fromStdString(dir_.path().string()));
        env.insert("ZORLED_FIXTURE_LOG", QString::fromStdString((dir_ / "calls.log").string()));
        process.setProcessEnvironment(env);
        process.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled-tool", args);
        process.waitForFinished(60000);
        out_ = process.readAllStandardOutput().toStdString();
        err_ = process.readAllStandardError().toStdString();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString Page(bool withLabel = false) {
        RegisterPageClasses();
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->SetColor(0x00336699);
        if (withLabel) {
            auto* label = static_cast<Tzorledlabel*>(page->CreateWidget(wkLabel));
            label->SetAutoSize(false);
            label->SetBounds(1, 1, 30, 14);
            label->SetColor(0x0000FF00);
            label->Font().SetColor(0x00FF00FF);
            label->Font().SetHeight(-12);
            label->SetCaption("Zor");
        }
        SavePageFile(*page, dir_ / "green.DFM");
        return QString::fromStdString((dir_ / "green.DFM").string());
    }

    testing::ScratchDir dir_{"zorled-stream"};
    std::string out_, err_;
};

TEST_F(ToolStream, StreamsThePageThroughTheHomesOutputs) {
    testing::UdpReceiver receiver;
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=ddp\nhost=127.0.0.1\nport=" +
                                                std::to_string(receiver.Port()) + "\nwidth=8\nheight=4\n");
    ASSERT_EQ(Stream({Page(), "--seconds", "1"}), 0) << err_;
    const std::string summary = "output1 ddp 127.0.0.1:" + std::to_string(receiver.Port()) + ": ";
    EXPECT_NE(out_.find(summary), std::string::npos) << out_;
    const auto packets = receiver.Take();
    // Three in a row for the unchanged page, perhaps a keep-alive on a slow machine.
    ASSERT_GE(packets.size(), 3u);
    for (const auto& p : packets) {
        ASSERT_EQ(p.size(), 10u + 8 * 4 * 3);
        EXPECT_EQ(p[0], 0x41);
        EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 10, p.begin() + 13), (std::vector<std::uint8_t>{0x99, 0x66, 0x33}));
    }
    EXPECT_NE(out_.find(std::to_string(packets.size()) + " frames"), std::string::npos) << out_;
}

// Streaming runs the page's data modules as play does: initialised once before, uninitialised
// once after.
TEST_F(ToolStream, InitialisesAndUninitialisesThePagesDataModuleOnceEach) {
    testing::UdpReceiver receiver;
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=ddp\nhost=127.0.0.1\nport=" +
                                                std::to_string(receiver.Port()) + "\nwidth=8\nheight=4\n");
    const auto module = testing::FixtureFolder("data") / "datamodule.so";
    WriteFileAtomic(dir_ / "fed.DFM", "object P: TFrmZorLedForm\r\n  object R: Tdatarefresh\r\n"
                                      "    ExeFileName = '" + module.string() + "'\r\n  end\r\nend\r\n");
    ASSERT_EQ(Stream({QString::fromStdString((dir_ / "fed.DFM").string()), "--seconds", "1"}), 0) << err_;
    std::map<std::string, int> calls;
    for (const auto& line : ReadTextList(dir_ / "calls.log")) ++calls[line];
    EXPECT_EQ(calls["datamodule.so PluginInit"], 1);
    EXPECT_EQ(calls["datamodule.so PluginUnInit"], 1);
}

TEST_F(ToolStream, ArtNetCarriesThePixelsThatRenderDraws) {
    testing::UdpReceiver receiver;
    const QString page = Page(true);
    const QString png = QString::fromStdString((dir_.path() / "page.png").string());
    ASSERT_EQ(Tool({"render", page, png}), 0) << err_;
    const QImage drawn = QImage(png).convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(drawn.width(), 32);
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=artnet\nhost=127.0.0.1\nport=" +
                                                std::to_string(receiver.Port()) + "\nwidth=32\nheight=16\nsync=true\n");
    ASSERT_EQ(Stream({page, "--seconds", "1"}), 0) << err_;
    EXPECT_EQ(out_.find("已停止"), std::string::npos) << "nothing stopped before it started: " << out_;
    const auto packets = receiver.Take();
    // 512 pixels: universes 0 (170), 1 (170), 2 (170) and 3 (2), then an ArtSync.
    ASSERT_GE(packets.size(), 5u);
    std::vector<std::uint8_t> frame;
    for (size_t u = 0; u < 4; ++u) {
        const auto& p = packets[u];
        ASSERT_GE(p.size(), 18u);
        EXPECT_EQ(std::string(p.begin(), p.begin() + 8), std::string("Art-Net\0", 8));
        EXPECT_EQ(p[9], 0x50);
        EXPECT_EQ(p[14], u);
        frame.insert(frame.end(), p.begin() + 18, p.end());
    }
    EXPECT_EQ(packets[4].size(), 14u);
    EXPECT_EQ(packets[4][9], 0x52);
    ASSERT_EQ(frame.size(), 512u * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb rgb = drawn.pixel(x, y);
            const size_t i = static_cast<size_t>(y * 32 + x) * 3;
            ASSERT_EQ(frame[i], qRed(rgb)) << x << "," << y;
            ASSERT_EQ(frame[i + 1], qGreen(rgb)) << x << "," << y;
            ASSERT_EQ(frame[i + 2], qBlue(rgb)) << x << "," << y;
        }
}

TEST_F(ToolStream, PatternSendsTheChaseToTheNamedOutput) {
    testing::UdpReceiver receiver;
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=ddp\nhost=127.0.0.1\nport=" +
                                                std::to_string(receiver.Port()) +
                                                "\nwidth=4\nheight=2\nenabled=false\n");
    ASSERT_EQ(Tool({"pattern", "--output", "OUTPUT1", "--kind", "chase", "--seconds", "1"}), 0) << err_;
    const auto packets = receiver.Take();
    ASSERT_GE(packets.size(), 3u) << "a disabled output is tested when named";
    // The first frames light the chain's first pixel alone.
    std::vector<std::uint8_t> first(24, 0);
    first[0] = first[1] = first[2] = 255;
    EXPECT_EQ(std::vector<std::uint8_t>(packets[0].begin() + 10, packets[0].end()), first);
    EXPECT_EQ(Tool({"pattern", "--output", "output1", "--kind", "plaid", "--seconds", "1"}), 1);
    EXPECT_NE(err_.find("Pattern \"plaid\" is not known: give one of corners, chase, red"), std::string::npos) << err_;
    EXPECT_EQ(Tool({"pattern", "--output", "output9", "--kind", "red", "--seconds", "1"}), 1);
    EXPECT_NE(err_.find("No LED output \"output9\""), std::string::npos) << err_;
}

TEST_F(ToolStream, FailsWithoutOutputsOrWithBadArguments) {
    const QString page = Page();
    EXPECT_EQ(Stream({page, "--seconds", "1"}), 1);
    EXPECT_NE(err_.find("No LED output to stream to"), std::string::npos) << err_;
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=ddp\n");
    EXPECT_EQ(Stream({page, "--seconds", "1"}), 1);
    EXPECT_NE(out_.find("[output1] host"), std::string::npos) << out_;
    for (const QStringList& args : {QStringList{page}, QStringList{page, "1"}}) {
        EXPECT_EQ(Stream(args), 1);
        EXPECT_NE(err_.find("zorled-tool stream IN.DFM --seconds N"), std::string::npos) << err_;
    }
    EXPECT_EQ(Stream({page, "--seconds", "x"}), 1);
    EXPECT_NE(err_.find("Seconds \"x\" are not valid"), std::string::npos) << err_;
}

// A controller that refuses, or a host that does not resolve, fails the run and is named; the
// output that works is not.
TEST_F(ToolStream, AnOutputThatGetsNoFrameThroughFailsTheRunAndIsNamed) {
    testing::UdpReceiver receiver;
    int closed = 0;
    {
        testing::UdpReceiver gone;  // a port nobody listens on once it closes
        closed = gone.Port();
    }
    WriteFileAtomic(dir_ / "ledoutput.ini",
                    "[output1]\nhost=127.0.0.1\nport=" + std::to_string(receiver.Port()) + "\nwidth=8\nheight=4\n"
                    "[output2]\nhost=127.0.0.1\nport=" + std::to_string(closed) + "\nwidth=8\nheight=4\n"
                    "[output3]\nhost=no-such-host.invalid\nwidth=8\nheight=4\n");
    EXPECT_EQ(Stream({Page(), "--seconds", "2"}), 1) << out_;
    EXPECT_NE(err_.find("LED output failed: output2 ddp 127.0.0.1:" + std::to_string(closed) + " (发送失败："),
              std::string::npos) << err_;
    EXPECT_NE(err_.find("; output3 ddp no-such-host.invalid:4048 (无法解析主机名 no-such-host.invalid)"), std::string::npos)
        << err_;
    EXPECT_EQ(err_.find("output1"), std::string::npos) << err_;
    EXPECT_FALSE(receiver.Take().empty());
}

TEST_F(ToolStream, StopSignalEndsTheStreamWithThreeTerminatedPacketsPerUniverse) {
    testing::UdpReceiver receiver;
    // 200 pixels: universes 9 (170 pixels) and 10 (30).
    WriteFileAtomic(dir_ / "ledoutput.ini", "[output1]\nprotocol=e131\nhost=127.0.0.1\nport=" +
                                                std::to_string(receiver.Port()) + "\nuniverse=9\nwidth=10\nheight=20\n");
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZORLED_HOME", QString::fromStdString(dir_.path().string()));
        process.setProcessEnvironment(env);
        process.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled-tool", {"stream", Page(), "--seconds", "600"});
        ASSERT_TRUE(process.waitForStarted());
        // Signalled once it streams.
        std::vector<std::vector<std::uint8_t>> packets;
        for (int i = 0; i < 600 && packets.empty(); ++i) {
            process.waitForFinished(50);
            packets = receiver.Take();
        }
        ASSERT_FALSE(packets.empty()) << process.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        std::map<int, int> terminated;
        for (const auto& p : receiver.Take())
            if (p.size() > 114 && (p[112] & kE131StreamTerminated)) ++terminated[p[113] * 256 + p[114]];
        EXPECT_EQ(terminated, (std::map<int, int>{{9, 3}, {10, 3}})) << signal;
    }
}

}  // namespace
}  // namespace zl
