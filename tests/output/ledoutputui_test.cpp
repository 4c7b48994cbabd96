#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTableWidget>
#include <QSpinBox>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "output/ledoutputdialog.h"
#include "output/ledoutputengine.h"
#include "output/ledpreview.h"
#include "outputfixture.h"
#include "support/udpreceiver.h"

namespace zl {
namespace {

TEST(LedPreviewWindow, DrawsEachSentPixelAsARoundDotWhereItsRegionLies) {
    LedOutputConfig left;
    left.width = 4;
    left.height = 2;
    left.serpentine = true;
    left.colors = ColorOrder::GRB;
    LedOutputConfig right = left;
    right.x = 4;
    right.start = PanelStart::BottomRight;
    right.columns = true;
    LedPreview preview;
    preview.SetOutputs({left, right});
    LedDotView& dots = *preview.Dots();
    dots.SetPitch(10);
    ASSERT_EQ(dots.size(), QSize(80, 20));

    // Chain pixel 4 of the serpentine left panel is region (3, 1); GRB bytes 20 C8 10 are red C8.
    std::vector<std::uint8_t> wire(8 * 3, 0);
    wire[4 * 3 + 0] = 0x20;
    wire[4 * 3 + 1] = 0xC8;
    wire[4 * 3 + 2] = 0x10;
    preview.ShowFrame(0, wire.data(), wire.size());
    // The right panel's first pixel is its bottom right corner: page (7, 1).
    std::vector<std::uint8_t> first(8 * 3, 0);
    first[0] = 0xFF;
    first[1] = 0xFF;
    first[2] = 0xFF;
    preview.ShowFrame(1, first.data(), first.size());
    // A frame of the wrong size is not drawn.
    preview.ShowFrame(1, wire.data(), 3);

    const QImage shown = dots.grab().toImage();
    EXPECT_EQ(shown.pixel(35, 15), qRgb(0xC8, 0x20, 0x10));
    EXPECT_EQ(shown.pixel(75, 15), qRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(shown.pixel(30, 10), qRgb(0, 0, 0)) << "black between the dots";
    EXPECT_EQ(shown.pixel(5, 5), qRgb(0, 0, 0)) << "unlit";
    preview.SetStatus("output1: 发送失败");
    EXPECT_EQ(preview.Status(), QString::fromUtf8("output1: 发送失败"));

    // A small pitch shows each LED at its full colour.
    dots.SetPitch(2);
    const QImage small = dots.grab().toImage();
    EXPECT_EQ(small.pixel(6, 2), qRgb(0xC8, 0x20, 0x10));
}

TEST(LedPreviewWindow, ShowsEachOutputsRatesAndErrors) {
    LedOutputConfig good, bad;
    good.section = "output1";
    good.host = "127.0.0.1";
    bad = good;
    bad.section = "output2";
    bad.x = 128;
    LedPreview preview;
    preview.SetOutputs({good, bad});
    LedOutputStats sending{100, 200, 0, "", ""};
    LedOutputStats failing{0, 0, 12, "发送失败：Connection refused", "发送失败：Connection refused"};
    preview.ShowStats({sending, failing}, 10'000);
    sending.frames += 40;
    sending.packets += 80;
    failing.failures += 40;
    preview.ShowStats({sending, failing}, 12'000);
    EXPECT_EQ(preview.OutputLines(),
              QString::fromUtf8("output1 ddp 127.0.0.1:4048：20.0 帧/秒，40 包/秒，错误 0\n"
                                "output2 ddp 127.0.0.1:4048：0.0 帧/秒，0 包/秒，错误 52，现在：发送失败：Connection refused"));
    ASSERT_EQ(preview.Table()->rowCount(), 2);
    EXPECT_EQ(preview.Table()->item(1, 2)->text(), "127.0.0.1:4048");
    EXPECT_EQ(preview.Table()->item(1, 5)->text(), "52");
    EXPECT_EQ(preview.Table()->item(0, 3)->text(), "20.0");

    // Sixty outputs: the window stays within the screen, the table scrolls.
    std::vector<LedOutputConfig> many;
    for (int i = 0; i < 60; ++i) {
        LedOutputConfig o = good;
        o.section = "output" + std::to_string(i + 1);
        o.x = (i % 10) * 128;
        o.y = (i / 10) * 64;
        many.push_back(o);
    }
    LedPreview big;
    big.SetOutputs(many);
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(big.width(), room.width());
    EXPECT_LE(big.height(), room.height());
    EXPECT_EQ(big.Table()->rowCount(), 60);
}

class LedDialog : public ::testing::Test {
protected:
    testing::HomeScope home_{"zorled-leddialog"};
    std::vector<QString> warned_;
    std::unique_ptr<LedOutputDialog> Open() {
        auto dialog = std::make_unique<LedOutputDialog>();
        dialog->Warn = [this](const QString& why) { warned_.push_back(why); };
        return dialog;
    }
};

TEST_F(LedDialog, EditsAddsRemovesAndSavesTheOutputs) {
    WriteFileAtomic(LedOutputFilePath(), "[output1]\nhost=127.0.0.5\nwidth=32\n[output2]\nbrightness=lots\n");
    auto dialog = Open();
    EXPECT_FALSE(dialog->Problems->isHidden());
    EXPECT_TRUE(dialog->Problems->text().contains("[output2] brightness"));
    // The output that cannot be read is listed, not editable, and kept.
    ASSERT_EQ(dialog->List->count(), 2);
    EXPECT_TRUE(dialog->List->item(1)->text().contains(QString::fromUtf8("无法读取")));
    EXPECT_EQ(dialog->Host->text(), "127.0.0.5");
    dialog->SelectOutput(1);
    EXPECT_FALSE(dialog->Host->isEnabled());
    EXPECT_TRUE(dialog->RemoveButton->isEnabled());
    dialog->SelectOutput(0);

    dialog->AddOutput();
    EXPECT_EQ(dialog->Current(), 2);
    EXPECT_TRUE(dialog->List->item(2)->text().startsWith("output3 ")) << "a name no section has";
    EXPECT_EQ(dialog->X->value(), 32) << "a new panel starts where the last one ends";
    dialog->Protocol->setCurrentIndex(1);
    EXPECT_EQ(dialog->Port->value(), kE131DefaultPort);
    dialog->Host->clear();
    EXPECT_TRUE(dialog->Interface->isEnabled()) << "multicast settings once the host is empty";
    dialog->Brightness->setValue(40);
    dialog->Serpentine->setChecked(true);
    dialog->Colors->setCurrentIndex(static_cast<int>(ColorOrder::BGR));
    ASSERT_TRUE(dialog->Save());

    const LedOutputSettings saved = LoadLedOutputs();
    EXPECT_EQ(saved.unreadable, std::vector<std::string>{"output2"});
    ASSERT_EQ(saved.outputs.size(), 2u);
    EXPECT_EQ(saved.outputs[0].host, "127.0.0.5");
    const LedOutputConfig& added = saved.outputs[1];
    EXPECT_EQ(added.section, "output3");
    EXPECT_TRUE(added.Multicast());
    EXPECT_EQ(added.brightness, 40);
    EXPECT_TRUE(added.serpentine);
    EXPECT_EQ(added.colors, ColorOrder::BGR);
    EXPECT_EQ(added.x, 32);

    dialog->SelectOutput(0);
    dialog->RemoveOutput();
    ASSERT_EQ(dialog->List->count(), 2);
    dialog->SelectOutput(1);
    EXPECT_EQ(dialog->Brightness->value(), 40);

    // A DDP output without a host cannot be saved; the file stays as it was.
    dialog->Protocol->setCurrentIndex(0);
    EXPECT_FALSE(dialog->Save());
    ASSERT_EQ(warned_.size(), 1u);
    EXPECT_TRUE(warned_[0].contains("DDP"));
    EXPECT_EQ(LoadLedOutputs().outputs.size(), 2u);
}

TEST_F(LedDialog, OkKeepsWhatItCannotReadAndEveryCommentByteForByte) {
    const std::string file =
        "# north gate sign, panels by row\n"
        "[output1]\n"
        "protocol=e131   ; left half\n"
        "host=127.0.0.1\n"
        "universe=7\n"
        "\n"
        "[output3]\n"
        "protocol=ddp\n"
        "host=127.0.0.1\n"
        "gamma=2,2       ; typed on site\n"
        "\n"
        "; the right half\n"
        "[output2]\n"
        "host=127.0.0.1\n"
        "gamma = 2.222   # measured\n"
        "brightness=80\n"
        "brightness_schedule = 23:00=20, 06:30=100   ; quieter at night\n";
    WriteFileAtomic(LedOutputFilePath(), file);
    auto dialog = Open();
    ASSERT_EQ(dialog->List->count(), 3);
    ASSERT_TRUE(dialog->Save());  // 确定 without a change
    EXPECT_EQ(ReadWholeFile(LedOutputFilePath()), file);

    // One change: that value alone, in its own line; the gamma shown and kept to the digit.
    dialog->SelectOutput(2);
    EXPECT_EQ(dialog->Gamma->text(), "2.222");
    dialog->Brightness->setValue(60);
    dialog->SelectOutput(0);
    dialog->Enabled->setChecked(false);
    dialog->OkButton->click();
    std::string expected = file;
    expected.replace(expected.find("brightness=80"), 13, "brightness=60");
    expected.replace(expected.find("universe=7\n"), 11, "universe=7\nenabled=false\n");
    EXPECT_EQ(ReadWholeFile(LedOutputFilePath()), expected);
    EXPECT_FALSE(LoadLedOutputs().outputs[0].enabled);
    ASSERT_EQ(LoadLedOutputs().outputs.size(), 2u);
    EXPECT_EQ(BrightnessScheduleText(LoadLedOutputs().outputs[1].brightnessSchedule), "06:30=100,23:00=20")
        << "the dialog shows no schedule, and keeps it in the section it saved";

    // A hand edit made while the dialog is open stays; the dialog's own change joins it.
    std::string edited = expected;
    edited.replace(edited.find("universe=7"), 10, "universe=9");
    WriteFileAtomic(LedOutputFilePath(), edited);
    dialog->SelectOutput(2);
    dialog->Brightness->setValue(70);
    ASSERT_TRUE(dialog->Save());
    edited.replace(edited.find("brightness=60"), 13, "brightness=70");
    EXPECT_EQ(ReadWholeFile(LedOutputFilePath()), edited);
}

// A file of a megabyte line and 80,000 odd sections opens a dialog that fits the screen, with
// 20 problems listed and the count of the rest.
TEST_F(LedDialog, AHugeFileOpensWithinTheScreenWithTwentyProblemsListed) {
    std::string file = "[output1]\nhost=127.0.0.1\n" + std::string(1 << 20, 'w') + "\n";
    for (int i = 0; i < 80'000; ++i) file += "[odd" + std::to_string(i) + "]\n";
    WriteFileAtomic(LedOutputFilePath(), file);
    auto dialog = Open();
    dialog->show();
    const QString problems = dialog->Problems->text();
    EXPECT_EQ(problems.count('\n'), 20);
    EXPECT_TRUE(problems.endsWith(QString::fromUtf8("另有 79981 处"))) << problems.right(40).toStdString();
    const QRect screen = dialog->screen()->availableGeometry();
    EXPECT_LE(dialog->width(), screen.width());
    EXPECT_LE(dialog->height(), screen.height());
    EXPECT_EQ(dialog->List->count(), 1);

    // Given the page, a region outside it is among the problems too.
    WriteFileAtomic(LedOutputFilePath(), "[output1]\nhost=127.0.0.1\nx=50\nwidth=32\nheight=8\n");
    LedOutputDialog sized(nullptr, QSize(64, 40));
    EXPECT_TRUE(sized.Problems->text().contains(QString::fromUtf8("超出页面 (64×40)"))) << sized.Problems->text().toStdString();
}

TEST_F(LedDialog, TestPatternMarksTheCornersOfTheOutputOnView) {
    ManualTimeSource clock(0);
    ScopedTimeSource scope(clock);
    testing::UdpReceiver receiver;
    WriteFileAtomic(LedOutputFilePath(), "[output1]\nhost=127.0.0.1\nport=" + std::to_string(receiver.Port()) +
                                             "\nwidth=4\nheight=2\nstart=topright\n");
    auto dialog = Open();
    dialog->PatternButton->click();
    ASSERT_NE(dialog->PatternEngine(), nullptr);
    clock.Advance(25);
    auto packets = receiver.Take();
    ASSERT_EQ(packets.size(), 1u);
    // From the top right: green, green, red, red, then the bottom row back from the right.
    const std::vector<std::uint8_t> expected = {0, 255, 0, 0, 255, 0, 255, 0, 0, 255, 0, 0,
                                                255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 0, 255};
    EXPECT_EQ(std::vector<std::uint8_t>(packets[0].begin() + 10, packets[0].end()), expected);

    // The pattern follows an edit, and stops with the button.
    dialog->Colors->setCurrentIndex(static_cast<int>(ColorOrder::GRB));
    clock.Advance(25);
    packets = receiver.Take();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0][10], 255);
    dialog->PatternButton->click();
    EXPECT_EQ(dialog->PatternEngine(), nullptr);
    clock.Advance(2000);
    EXPECT_TRUE(receiver.Take().empty());
}

}  // namespace
}  // namespace zl
