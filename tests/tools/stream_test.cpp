#include <gtest/gtest.h>

#include <QProcess>

#include "core/atomicfile.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "support/scratchdir.h"
#include "support/udpreceiver.h"

namespace zl {
namespace {

class ToolStream : public ::testing::Test {
protected:
    // Runs `zorled-tool stream` on real time with the scratch folder as its home.
    int Stream(const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZORLED_HOME", QString::fromStdString(dir_.path().string()));
        process.setProcessEnvironment(env);
        process.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled-tool", QStringList{"stream"} + args);
        process.waitForFinished(60000);
        out_ = process.readAllStandardOutput().toStdString();
        err_ = process.readAllStandardError().toStdString();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString Page() {
        RegisterPageClasses();
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->SetColor(0x00336699);
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

}  // namespace
}  // namespace zl
