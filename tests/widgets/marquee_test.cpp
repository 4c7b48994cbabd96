#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/clock.h"
#include "core/codepage.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"
#include "widgets/paint.h"
#include "widgets/zorledzmd.h"

namespace zl {
namespace {

using testing::ScratchDir;

// Stands for the page: lends font and colour, and paints nothing itself, so whatever a
// transparent marquee lets through is the render's green ground.
class Host : public QWidget, public Control {
public:
    Host() : Control(this, nullptr) {
        SetParentFont(false);
        SetColor(clWhite);
        resize(400, 200);
    }
    const ClassInfo& Class() const override {
        static const ClassInfo info{"THost"};
        return info;
    }
};

QImage Render(QWidget& w) {
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(Qt::green);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int CountColor(const QImage& image, QColor color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += QColor(image.pixel(x, y)) == color;
    return n;
}

class Marquee : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetErrorReporter([this](const QString& m) { reported_.push_back(m.toStdString()); });
        zmd_ = new Tzorledzmd(&host_, &host_);
        zmd_->SetName("myzmd1");
        zmd_->Font().SetName("DejaVu Sans");
        zmd_->Font().SetHeight(-16);
        zmd_->Font().SetColor(clRed);
        zmd_->SetColor(clBlack);
        zmd_->SetRunningCaption("Marquee");
    }
    void TearDown() override { SetErrorReporter(previous_); }
    void Ms(std::int64_t ms) { manual_.Advance(ms); }

    ManualTimeSource manual_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{manual_};
    Host host_;
    Tzorledzmd* zmd_ = nullptr;
    std::vector<std::string> reported_;
    ErrorReporter previous_;
};

TEST_F(Marquee, StartsAtRestWithItsConstructorValues) {
    Tzorledzmd fresh(nullptr);
    EXPECT_EQ(fresh.Width(), 180);
    EXPECT_EQ(fresh.Height(), 40);
    EXPECT_EQ(fresh.Name(), "RunningText");
    EXPECT_EQ(fresh.Steps(), 100);
    EXPECT_EQ(fresh.Speed(), 100);
    EXPECT_EQ(fresh.Step(), 0);
    EXPECT_EQ(fresh.PassCount(), 0);
    EXPECT_FALSE(fresh.Active());
    EXPECT_FALSE(fresh.Continuous());
    EXPECT_EQ(fresh.Direction(), diLeftToRight);
    EXPECT_EQ(fresh.TextStyle(), slNormal);
    EXPECT_EQ(fresh.TextLayout(), tlTop);
    EXPECT_EQ(fresh.NumRepeat(), 0);
    EXPECT_TRUE(fresh.RunningCaption().empty());
    EXPECT_FALSE(fresh.FrameTimer().Enabled());
    EXPECT_EQ(fresh.FrameTimer().Interval(), 100);
    EXPECT_EQ(fresh.datainterface(), datafromEditor);
    EXPECT_EQ(fresh.DataRefreshTime(), 180000);
    EXPECT_TRUE(fresh.TextFileName().empty());
    EXPECT_TRUE(fresh.ExeFileName().empty());
    fresh.SetName("myzmd7");
    EXPECT_TRUE(fresh.Caption().empty()) << "the label's caption stays empty through renaming";
    // A second marquee on the same owner cannot take the name the first still holds.
    Tzorledzmd first(&host_), second(&host_);
    EXPECT_EQ(first.Name(), "RunningText");
    EXPECT_TRUE(second.Name().empty());
}

TEST_F(Marquee, SpeedIsHeldBetweenOneAndAThousandMilliseconds) {
    const struct {
        int set, stored;
    } cases[] = {{5000, 1000}, {1001, 1000}, {0, 1}, {-5, 1}, {250, 250}, {1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        zmd_->SetSpeed(c.set);
        EXPECT_EQ(zmd_->Speed(), c.stored);
        EXPECT_EQ(zmd_->FrameTimer().Interval(), c.stored);
    }
}

// The text box is w × h; the widget is sized so that the travel (w + Width) is odd and the
// middle frame lands on a half, which goes to the even neighbour.
TEST_F(Marquee, FramesPlaceTheTextAlongEachDirection) {
    const QSize box = zmd_->TextBox();
    const int w = box.width(), h = box.height();
    const int width = 201 - w, height = 203 - h;  // travels 201 and 203
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    zmd_->SetBounds(0, 0, width, height);
    const int restX[] = {0, width - w, (width - w) / 2};  // left, right, centre
    const int restY[] = {0, (height - h) / 2, height - h};  // top, centre, bottom
    const struct {
        int direction, alignment, layout, step, steps;
        int x, y;
    } cases[] = {
        // Just outside the starting edge, the middle (100.5 → 100, 101.5 → 102), past the far edge.
        {diLeftToRight, taLeftJustify, tlTop, 0, 4, -w, restY[0]},
        {diLeftToRight, taLeftJustify, tlCenter, 2, 4, 100 - w, restY[1]},
        {diLeftToRight, taRightJustify, tlBottom, 4, 4, width, restY[2]},
        {diLeftToRight, taLeftJustify, tlTop, 1, 4, 50 - w, restY[0]},  // 50.25
        {diRightToLeft, taLeftJustify, tlTop, 0, 4, width, restY[0]},
        {diRightToLeft, taCenter, tlCenter, 2, 4, 100 - w, restY[1]},
        {diRightToLeft, taLeftJustify, tlBottom, 4, 4, -w, restY[2]},
        {diTopToBottom, taLeftJustify, tlTop, 0, 4, restX[0], -h},
        {diTopToBottom, taRightJustify, tlCenter, 2, 4, restX[1], 102 - h},
        {diTopToBottom, taCenter, tlBottom, 4, 4, restX[2], height},
        // Bottom to top: the layout has no effect on the travel, x follows the alignment.
        {diBottomToTop, taRightJustify, tlBottom, 0, 4, restX[1], height},
        {diBottomToTop, taCenter, tlBottom, 2, 4, restX[2], 102 - h},
        {diBottomToTop, taLeftJustify, tlTop, 4, 4, restX[0], -h},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "direction " << c.direction << " step " << c.step);
        zmd_->SetActive(false);
        zmd_->SetDirection(c.direction);
        zmd_->SetAlignment(c.alignment);
        zmd_->SetTextLayout(c.layout);
        zmd_->SetSteps(c.steps);
        zmd_->SetContinuous(true);
        zmd_->SetSpeed(10);
        zmd_->SetActive(true);
        Ms(10 * c.step);
        // The last frame of a pass stands past the far edge; the step then starts again at 0.
        if (c.step < c.steps) {
            EXPECT_EQ(zmd_->Step(), c.step);
            EXPECT_EQ(zmd_->TextPosition(), QPoint(c.x, c.y)) << "now";
        }
        if (c.step > 0) EXPECT_EQ(zmd_->FramePosition(), QPoint(c.x, c.y)) << "as drawn by the frame";
        // At rest the text stands at its aligned, laid-out place.
        zmd_->SetActive(false);
        EXPECT_EQ(zmd_->TextPosition(), QPoint(restX[c.alignment == taLeftJustify ? 0 : c.alignment == taRightJustify ? 1 : 2],
                                               restY[c.layout]));
    }
}

TEST_F(Marquee, RunsItsPassesThenRestsWhereItBelongs) {
    zmd_->SetSteps(100);
    zmd_->SetSpeed(100);
    zmd_->SetNumRepeat(2);
    zmd_->SetAlignment(taCenter);
    zmd_->SetTextLayout(tlBottom);
    zmd_->SetActive(true);
    const QPoint rest((zmd_->Width() - zmd_->TextBox().width()) / 2, zmd_->Height() - zmd_->TextBox().height());
    Ms(99);
    EXPECT_EQ(zmd_->Step(), 0);
    Ms(1);
    EXPECT_EQ(zmd_->Step(), 1) << "the first frame draws step 1";
    EXPECT_EQ(zmd_->FramePosition().x(), -zmd_->TextBox().width() + qRound((zmd_->TextBox().width() + zmd_->Width()) / 100.0));
    Ms(9900);
    EXPECT_EQ(zmd_->Step(), 0);
    EXPECT_EQ(zmd_->PassCount(), 1) << "a pass lasts Steps × Speed";
    Ms(10000);
    EXPECT_EQ(zmd_->PassCount(), 2);
    EXPECT_TRUE(zmd_->Active());
    Ms(100);
    EXPECT_FALSE(zmd_->Active()) << "stops at the first tick after the last pass";
    EXPECT_FALSE(zmd_->FrameTimer().Enabled());
    EXPECT_EQ(zmd_->FramePosition(), rest);
    EXPECT_EQ(zmd_->PassCount(), 0);
    // Setting the same value again does not restart anything.
    zmd_->SetActive(false);
    EXPECT_FALSE(zmd_->FrameTimer().Enabled());

    zmd_->SetNumRepeat(0);
    zmd_->SetActive(true);
    Ms(100);
    EXPECT_FALSE(zmd_->Active()) << "no passes: stops at the first tick";
}

TEST_F(Marquee, StepsLoweredMidPassOrNoneAtAllEndThePass) {
    zmd_->SetContinuous(true);
    zmd_->SetSpeed(10);
    zmd_->SetActive(true);
    Ms(500);
    EXPECT_EQ(zmd_->Step(), 50);
    zmd_->SetSteps(20);
    Ms(10);
    EXPECT_EQ(zmd_->Step(), 0) << "a step past the new end ends the pass";
    EXPECT_EQ(zmd_->FramePosition().x(), zmd_->Width()) << "the last frame stands past the far edge";
    for (int steps : {0, -3}) {
        SCOPED_TRACE(steps);
        zmd_->SetSteps(steps);
        Ms(10);
        EXPECT_EQ(zmd_->Step(), 0);
        EXPECT_EQ(zmd_->FramePosition().x(), zmd_->Width());
    }
    zmd_->SetContinuous(false);
    zmd_->SetNumRepeat(3);
    zmd_->SetActive(false);
    zmd_->SetActive(true);
    Ms(30);
    EXPECT_EQ(zmd_->PassCount(), 3) << "every frame is a whole pass";
    Ms(10);
    EXPECT_FALSE(zmd_->Active());
}

TEST_F(Marquee, BetweenFramesOnlyTheBackgroundAndTheCurrentTextShow) {
    zmd_->SetBounds(0, 0, 200, 30);
    const QImage atRest = Render(*zmd_);
    EXPECT_GT(CountColor(atRest, Qt::red), 20) << "the resting text is part of every paint";
    EXPECT_EQ(CountColor(atRest, Qt::green), 0);

    zmd_->SetContinuous(true);
    zmd_->SetActive(true);
    // Step 0 puts the text just outside the starting edge: nothing of the old text is left.
    const QImage running = Render(*zmd_);
    EXPECT_EQ(CountColor(running, Qt::black), 200 * 30);
    zmd_->SetTransparent(true);
    EXPECT_EQ(CountColor(Render(*zmd_), Qt::green), 200 * 30) << "a transparent one shows what lies behind";

    zmd_->SetActive(false);
    EXPECT_GT(CountColor(Render(*zmd_), Qt::red), 20);
    EXPECT_EQ(CountColor(Render(*zmd_), Qt::black), 0);
}

// A repaint between two ticks (an expose, the page drawn for the LED output) shows the text
// where the last tick put it, never at a place between ticks.
TEST_F(Marquee, RepaintsBetweenTicksShowTheLastTicksPosition) {
    zmd_->SetBounds(0, 0, 200, 30);
    zmd_->SetSteps(40);
    zmd_->SetSpeed(20);
    zmd_->SetContinuous(true);
    zmd_->SetActive(true);
    Ms(20 * 10);
    ASSERT_EQ(zmd_->Step(), 10);
    const QPoint atTick = zmd_->FramePosition();
    const QImage frame = Render(*zmd_);
    ASSERT_GT(CountColor(frame, Qt::red), 20) << "the text is in view";
    for (int ms : {1, 9, 9}) {
        Ms(ms);
        EXPECT_EQ(zmd_->FramePosition(), atTick);
        EXPECT_EQ(Render(*zmd_), frame) << "after " << ms << " ms more";
    }
    Ms(1);
    EXPECT_EQ(zmd_->Step(), 11);
    EXPECT_NE(zmd_->FramePosition(), atTick) << "the next tick moves it";
}

TEST_F(Marquee, RaisedAndLoweredTextDrawAShadowOneDownRight) {
    zmd_->SetBounds(0, 0, 200, 30);
    // Red text on black has no green at all; a shadow in white or grey brings some, up to its own.
    const struct {
        int style;
        int maxGreen;
    } cases[] = {{slLowered, 255}, {slRaised, ToQColor(clBtnShadow).green()}, {slNormal, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        zmd_->SetTextStyle(c.style);
        const QImage image = Render(*zmd_);
        int green = 0, tinted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                green = std::max(green, qGreen(image.pixel(x, y)));
                tinted += qGreen(image.pixel(x, y)) > 0;
            }
        EXPECT_EQ(green, c.maxGreen);
        if (c.style != slNormal) EXPECT_GT(tinted, 20);
    }
}

// Frames moved from the picture the marquee keeps of its text show the pixels of the text
// drawn afresh (a marquee with no memory for the picture), through whole passes in which
// the picture is redrawn as the text travels past it.
TEST_F(Marquee, FramesFromItsTextPictureMatchTheTextDrawnAfresh) {
    const std::string longText = [] {
        std::string t;
        for (int i = 0; i < 12; ++i) t += "Marquee " + std::to_string(i * 7919) + " gyQ| ";
        return t;
    }();
    const struct {
        const char* name;
        int direction, style, fontHeight, width, height, alignment;
        bool active, longText;
    } cases[] = {
        {"short, leftwards", diRightToLeft, slNormal, -16, 200, 30, taLeftJustify, true, false},
        {"long, rightwards, lowered", diLeftToRight, slLowered, -16, 200, 30, taLeftJustify, true, true},
        {"long, large font drawn as outlines, raised", diRightToLeft, slRaised, -120, 400, 160, taLeftJustify, true, true},
        {"downwards", diTopToBottom, slNormal, -24, 200, 60, taCenter, true, false},
        {"upwards, long", diBottomToTop, slNormal, -24, 200, 60, taRightJustify, true, true},
        {"at rest, centred", diRightToLeft, slLowered, -16, 200, 30, taCenter, false, false},
    };
    const size_t budget = Tzmd::StripBudget();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Tzorledzmd afresh(&host_, &host_);
        for (Tzorledzmd* m : {zmd_, &afresh}) {
            m->SetActive(false);
            m->SetBounds(0, 0, c.width, c.height);
            m->Font().SetName("DejaVu Sans");
            m->Font().SetHeight(c.fontHeight);
            m->Font().SetColor(clYellow);
            m->SetColor(clMaroon);
            m->SetDirection(c.direction);
            m->SetTextStyle(c.style);
            m->SetAlignment(c.alignment);
            m->SetTextLayout(tlCenter);
            m->SetRunningCaption(c.longText ? longText : "Marquee gyQ|");
            m->SetSteps(61);
            m->SetSpeed(10);
            m->SetContinuous(true);
            m->SetActive(c.active);
        }
        // Glyphs of large fonts are filled as outlines, placed by Qt with a rounding that differs
        // for pieces starting left of the marquee: a few of their edge pixels may be up to 3
        // levels off. Glyphs from Qt's cache are placed alike everywhere and match exactly.
        int most = 0, differing = 0, pixels = 0;
        for (int frame = 0; frame < 70; ++frame) {
            Tzmd::SetStripBudget(budget);
            const QImage kept = Render(*zmd_);
            Tzmd::SetStripBudget(0);
            const QImage drawn = Render(afresh);
            for (int y = 0; y < kept.height(); ++y)
                for (int x = 0; x < kept.width(); ++x, ++pixels) {
                    const QRgb a = kept.pixel(x, y), b = drawn.pixel(x, y);
                    const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                            std::abs(qBlue(a) - qBlue(b))});
                    most = std::max(most, d);
                    differing += d > 0;
                }
            Ms(10);
        }
        Tzmd::SetStripBudget(budget);
        const bool outlines = c.fontHeight < -64;
        EXPECT_LE(most, outlines ? 3 : 0);
        EXPECT_LE(differing, pixels / 10000) << "of " << pixels;
    }
}

// A text far longer than a slice is converted and measured a slice per timer tick, the previous
// text standing until it is done; it then shows just as a short text of the same start does.
TEST_F(Marquee, ALongTextIsLaidOutInSlicesWhileThePreviousTextStays) {
    zmd_->SetBounds(0, 0, 200, 30);
    const QImage before = Render(*zmd_);
    std::string start, longText;
    while (start.size() < 64) start += "Marquee ";
    while (longText.size() < 200000) longText += "Marquee ";
    Tzorledzmd shortOne(&host_, &host_);
    shortOne.Font().Assign(zmd_->Font());
    shortOne.SetColor(clBlack);
    shortOne.SetBounds(0, 0, 200, 30);
    shortOne.SetRunningCaption(start);

    zmd_->SetRunningCaption(longText);
    EXPECT_EQ(Render(*zmd_), before);
    EXPECT_TRUE(zmd_->LayingOut());
    int ticks = 0;
    while (zmd_->LayingOut() && ticks < 100) {
        Ms(1);
        ++ticks;
    }
    EXPECT_FALSE(zmd_->LayingOut());
    EXPECT_GE(ticks, 2) << "more than one slice";
    EXPECT_EQ(Render(*zmd_), Render(shortOne));
    EXPECT_GT(zmd_->TextBox().width(), shortOne.TextBox().width() * 1000);

    // A short text given while a long one is still being laid out shows at once.
    zmd_->SetRunningCaption(longText + "!");
    zmd_->TextBox();
    zmd_->SetRunningCaption("Marquee");
    EXPECT_EQ(Render(*zmd_), before);
    Ms(5);
    EXPECT_FALSE(zmd_->LayingOut());
    EXPECT_EQ(Render(*zmd_), before);
}

class MarqueeData : public Marquee {
protected:
    std::string Load(const std::string& bytes) {
        std::ofstream(scratch_ / "data.txt", std::ios::binary) << bytes;
        zmd_->LoadRunningCaption((scratch_ / "data.txt").string());
        return zmd_->RunningCaption();
    }
    ScratchDir scratch_{"zorled-marquee"};
};

TEST_F(MarqueeData, TheFilesLinesBecomeCommaText) {
    const struct {
        const char* what;
        std::string bytes;
        std::string caption;
    } cases[] = {
        {"a line with a space", "Train 1234 late\r\n", "\"Train 1234 late\""},
        {"two plain lines", "first\r\nsecond\r\n", "first,second"},
        {"a double quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
        {"an empty line between two", "a\r\n\r\nb\r\n", "a,,b"},
        {"one empty line", "\r\n", "\"\""},
        {"an empty file", "", ""},
        {"Chinese text", Utf8ToGbk("列车晚点\r\n到站"), Utf8ToGbk("列车晚点,到站")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Load(c.bytes), c.caption);
    }
    zmd_->SetRunningCaption("kept");
    zmd_->LoadRunningCaption((scratch_ / "missing.txt").string());
    EXPECT_EQ(zmd_->RunningCaption(), "kept") << "a missing file changes nothing";
}

TEST_F(MarqueeData, DataPropertiesAreCopiedAndPassedOnToTheRefresher) {
    zmd_->SetDataRefreshTime(5000);
    EXPECT_EQ(zmd_->DataRefreshTime(), 5000) << "the widget's copy, which the page file stores";
    EXPECT_EQ(zmd_->Refresher().DataRefreshTime(), 10000);
    EXPECT_EQ(zmd_->Refresher().Interval(), 10000);
    zmd_->SetTextFileName((scratch_ / "data.txt").string());
    zmd_->SetExeFileName("module.so");
    EXPECT_EQ(zmd_->Refresher().TextFileName(), (scratch_ / "data.txt").string());
    EXPECT_EQ(zmd_->Refresher().ExeFileName(), "module.so");
    zmd_->Setdatainterface(dataformtxtfile);
    EXPECT_TRUE(zmd_->Refresher().Enabled());

    std::ofstream(scratch_ / "data.txt", std::ios::binary) << "fed";
    Ms(10000);
    EXPECT_EQ(zmd_->RunningCaption(), "fed");
    EXPECT_FALSE(zmd_->Active()) << "refreshing never touches Active";
    zmd_->StopRefresh();
    EXPECT_FALSE(zmd_->Refresher().Enabled());
    EXPECT_TRUE(zmd_->RefreshIdle());
}

TEST_F(MarqueeData, TheExampleDataModuleFeedsTheCurrentTime) {
    const auto file = scratch_ / "time.txt";
    ::setenv("ZORLED_TIMEDATA_FILE", file.c_str(), 1);
    zmd_->Setdatainterface(datafromexetxt);
    zmd_->SetExeFileName(std::string(ZORLED_BINARY_DIR) + "/src/app/zorled_timedata.so");
    zmd_->SetTextFileName(file.string());
    zmd_->StartRefresh();
    ASSERT_TRUE(testing::WaitUntil([&] { return zmd_->RefreshIdle(); }));
    ModuleRunner::Instance().Stop();
    ::unsetenv("ZORLED_TIMEDATA_FILE");
    // One line holding a space: comma text puts it in double quotes.
    EXPECT_TRUE(QRegularExpression("^\"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\"$")
                    .match(QString::fromStdString(zmd_->RunningCaption()))
                    .hasMatch())
        << zmd_->RunningCaption();
    EXPECT_TRUE(reported_.empty());
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(MarqueeData, ASlowDataModuleLeavesTheMarqueeMovingAndItsTextIsReadWhenTheCallReturns) {
    testing::FixtureCalls calls(scratch_);
    const auto file = scratch_ / "data.txt";
    const auto release = scratch_ / "release";
    ::setenv("ZORLED_FIXTURE_DATA", file.c_str(), 1);
    ::setenv("ZORLED_FIXTURE_RELEASE", release.c_str(), 1);
    zmd_->SetBounds(0, 0, 200, 30);
    zmd_->SetContinuous(true);
    zmd_->SetActive(true);
    zmd_->Setdatainterface(datafromexetxt);
    zmd_->SetExeFileName((testing::FixtureFolder("data") / "slow.so").string());
    zmd_->SetTextFileName(file.string());
    zmd_->StartRefresh();
    const auto inCall = [&] { return calls.Lines().size() == 2; };
    ASSERT_TRUE(testing::WaitUntil([&] { return calls.Lines().size() == 1; }));
    // The call is out and the GUI thread goes on: the marquee moves, the old text stays.
    for (int i = 0; i < 3; ++i) {
        const QPoint before = zmd_->FramePosition();
        Ms(500);
        EXPECT_NE(zmd_->FramePosition(), before);
    }
    EXPECT_FALSE(zmd_->RefreshIdle());
    EXPECT_EQ(zmd_->RunningCaption(), "Marquee");
    std::ofstream(release) << "";
    ASSERT_TRUE(testing::WaitUntil([&] { return zmd_->RefreshIdle(); }));
    EXPECT_EQ(zmd_->RunningCaption(), "\"call 1\"") << "read after the call returned";

    // A call that never returns is given up after a minute: reported, the text kept, idle again.
    std::filesystem::remove(release);
    zmd_->Refresher().RefreshNow();
    ASSERT_TRUE(testing::WaitUntil(inCall));
    Ms(59000);
    EXPECT_FALSE(zmd_->RefreshIdle());
    EXPECT_TRUE(reported_.empty());
    Ms(1000);
    EXPECT_TRUE(zmd_->RefreshIdle());
    ASSERT_EQ(reported_.size(), 1u);
    EXPECT_NE(reported_[0].find("did not return within 60 s"), std::string::npos) << reported_[0];
    EXPECT_EQ(zmd_->RunningCaption(), "\"call 1\"");
    EXPECT_EQ(ModuleRunner::Instance().RunningHosts(), 0);
    ModuleRunner::Instance().Stop();
    ::unsetenv("ZORLED_FIXTURE_DATA");
    ::unsetenv("ZORLED_FIXTURE_RELEASE");
}

}  // namespace
}  // namespace zl
