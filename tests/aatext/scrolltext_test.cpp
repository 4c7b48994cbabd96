#include <gtest/gtest.h>

#include <climits>

#include <QCoreApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "aatext/scrolltext.h"
#include "qtbase/application.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "core/props/enums.h"

namespace zl {
namespace {

std::string G(const char* utf8) { return Utf8ToGbk(utf8); }

class ScrollText : public ::testing::Test {
protected:
    // A loaded control of the given size with plain settings: no fade, no spaces, no pause.
    std::unique_ptr<TSmoothScrollText> Make(int width, int height, const StringList& lines, QWidget* parent = nullptr) {
        auto control = std::make_unique<TSmoothScrollText>(nullptr, parent);
        control->SetBounds(0, 0, width, height);
        TScrollTextParam& text = control->Text();
        text.SetFade(false);
        text.SetTailSpace(0);
        text.SetLines(lines);
        text.Font().SetName("DejaVu Sans");
        text.Font().SetHeight(-16);
        text.Font().SetColor(0x000000);
        control->SetRepeatDelay(0);
        control->SetScrollQuality(tqLow);
        control->Paint();
        return control;
    }
    static StringList Numbered(int count) {
        StringList lines;
        for (int i = 0; i < count; ++i) lines.push_back("line " + std::to_string(i));
        return lines;
    }
    // Runs ticks of the scroll timer until the position is `target` (bounded).
    void TickUntil(TSmoothScrollText& control, const std::function<bool()>& done, int limit = 100000) {
        for (int i = 0; i < limit && !done(); ++i) manual.Advance(control.ScrollDelay());
    }

    ManualTimeSource manual{MakeLocalMs(2025, 1, 2, 3, 4, 5)};
    ScopedTimeSource scope{manual};
};

TEST_F(ScrollText, NewControlHasTheDescribedSettings) {
    TSmoothScrollText control(nullptr);
    EXPECT_EQ(control.Width(), 240);
    EXPECT_EQ(control.Height(), 280);
    EXPECT_TRUE(control.Active());
    EXPECT_EQ(control.ScrollDelay(), 60);
    EXPECT_EQ(control.ScrollStep(), 1);
    EXPECT_EQ(control.ScrollQuality(), tqHigh);
    EXPECT_EQ(control.RepeatDelay(), 2000);
    EXPECT_EQ(control.Color(), TColor(0xFFFFFF));
    EXPECT_TRUE(control.ScrollTimer().Enabled()) << "setting the delay starts the scroll timer";
    EXPECT_FALSE(control.ScrollTimer().HasWorkerThread()) << "virtual time ticks through the time seam";
    EXPECT_FALSE(control.IsLoaded());
    const TScrollTextParam& text = control.Text();
    EXPECT_TRUE(text.Fade());
    EXPECT_EQ(text.FadeHeight(), 10);
    EXPECT_EQ(text.TailSpace(), 60);
    EXPECT_EQ(text.Alignment(), taCenter);
    EXPECT_EQ(text.RowPitch(), 20);
    EXPECT_EQ(text.LabelEffect(), leUntilNextLabel);
    EXPECT_TRUE(text.HoldsDefaultText());
    EXPECT_TRUE(control.UseDefaultLabels());
    control.SetBounds(0, 0, 5, -3);
    EXPECT_EQ(control.Width(), 20);
    EXPECT_EQ(control.Height(), 20);
}

TEST_F(ScrollText, SettersKeepTheirRanges) {
    auto control = Make(100, 60, {"a"});
    control->SetScrollStep(0);
    EXPECT_EQ(control->ScrollStep(), 1);
    control->SetScrollStep(-5);
    EXPECT_EQ(control->ScrollStep(), 1);
    control->Text().SetHeadSpace(200);
    EXPECT_EQ(control->Text().HeadSpace(), 150);
    control->Text().SetTailSpace(-1);
    EXPECT_EQ(control->Text().TailSpace(), 0);
}

TEST_F(ScrollText, EmptyOrShortTextFillsExactlyTheClientHeight) {
    auto empty = Make(100, 70, {});
    EXPECT_EQ(empty->TextBmpHeight(), 70);
    const QImage blank = empty->TextBmpImage();
    EXPECT_EQ(blank.pixel(50, 35), qRgb(255, 255, 255)) << "filled with the control colour";

    auto shorter = Make(100, 70, {"a"});
    EXPECT_EQ(shorter->TextBmpHeight(), 70) << "padded to the client height";
    TickUntil(*shorter, [&] { return shorter->Position() == 69; });
    manual.Advance(60);
    EXPECT_EQ(shorter->Position(), 70) << "the bitmap height itself is a position";
    EXPECT_EQ(shorter->CurrBmp(), shorter->TextBmpImage()) << "it shows the start of the text again";
    manual.Advance(60);
    EXPECT_EQ(shorter->Position(), 0) << "the next step wraps round";
}

TEST_F(ScrollText, ViewWrapsRoundFromTheEndToTheStart) {
    auto control = Make(120, 50, Numbered(6));
    const QImage whole = control->TextBmpImage();
    const int t = whole.height();
    ASSERT_GT(t, 50);
    control->MoveTo(t - 20);
    QImage expected(120, 50, QImage::Format_RGB32);
    {
        QPainter painter(&expected);
        painter.drawImage(0, 0, whole, 0, t - 20, 120, 20);
        painter.drawImage(0, 20, whole, 0, 0, 120, 30);
    }
    EXPECT_EQ(control->CurrBmp(), expected);
}

// The board moves a whole step per tick and stands still between ticks, at every quality.
TEST_F(ScrollText, PositionsAreWholeStepsReachedByTicks) {
    for (const TTimerQuality quality : {tqHighest, tqHigh, tqLow}) {
        SCOPED_TRACE(::testing::Message() << "quality " << quality);
        auto control = Make(120, 50, Numbered(20));
        control->SetScrollQuality(quality);
        control->SetScrollStep(3);
        control->SetScrollDelay(20);
        control->SetActive(true);
        const int start = control->Position();
        manual.Advance(20 * 10);
        ASSERT_EQ(control->Position(), start + 30);
        const QImage frame = control->CurrBmp();
        manual.Advance(19);
        EXPECT_EQ(control->Position(), start + 30);
        EXPECT_EQ(control->CurrBmp(), frame) << "nothing is drawn between ticks";
        manual.Advance(1);
        EXPECT_EQ(control->Position(), start + 33);
    }
}

TEST_F(ScrollText, EveryStepShowsTheFadedWindowOfTheWholeBitmap) {
    // A step reuses the frame before it; each frame must still be the window cut from the whole
    // bitmap with both fade bands, the wrap round from the end to the start included.
    const int w = 90, h = 60, fade = 7;
    auto control = Make(w, h, Numbered(8));
    control->Text().SetFade(true);
    control->Text().SetFadeHeight(fade);
    const QImage whole = control->TextBmpImage();
    const int t = whole.height();
    auto window = [&](int p) {
        QImage view(w, h, QImage::Format_RGB32);
        for (int r = 0; r < h; ++r) std::memcpy(view.scanLine(r), whole.constScanLine((p + r) % t), view.bytesPerLine());
        for (int c = 0; c < fade; ++c) {
            const int f = c * 255 / (fade - 1);
            for (const int row : {c, h - 1 - c}) {
                std::uint8_t* px = view.scanLine(row);
                for (int i = 0; i < w * 4; ++i)
                    if (i % 4 != 3) px[i] = static_cast<std::uint8_t>(255 + std::floor((px[i] - 255) * f / 256.0));
            }
        }
        return view;
    };
    for (int p = 0; p <= t; p += 3) {
        control->MoveTo(p);
        ASSERT_EQ(control->CurrBmp(), window(p)) << "position " << p;
    }
    control->MoveTo(t - 1);
    control->MoveTo(t);
    EXPECT_EQ(control->CurrBmp(), window(0)) << "the end runs on into the start";
}

// A step moves the window's picture of the board instead of painting all of it again: what
// the window shows is still the board's view after every step, with steps of several rows,
// fade bands, the wrap round to the start, and steps taken with no paint between them.
TEST_F(ScrollText, TheWindowShowsTheViewAfterEveryStep) {
    QWidget window;
    window.resize(130, 100);
    auto control = Make(90, 60, Numbered(8), &window);
    control->move(20, 10);
    control->Text().SetFade(true);
    control->Text().SetFadeHeight(7);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int t = control->TextBmpHeight();
    auto shown = [&] {
        QCoreApplication::processEvents();
        return window.screen()->grabWindow(window.winId(), 20, 10, 90, 60).toImage().convertToFormat(QImage::Format_RGB32);
    };
    int p = 0, steps = 0;
    for (const int step : {1, 3, 1, 2}) {
        for (int i = 0; i < t / 2; ++i, ++steps) {
            p = (p + step) % t;
            control->MoveTo(p);
            // Every third step goes unpainted before the next one.
            if (steps % 3 == 2) continue;
            ASSERT_EQ(shown(), control->CurrBmp()) << "position " << p << " after a step of " << step;
        }
    }
}

TEST_F(ScrollText, RepeatCountEndsInactiveWithOneCompletion) {
    auto control = Make(60, 40, {"a"});
    int completions = 0;
    control->OnComplete = [&] { ++completions; };
    control->SetRepeatCount(2);
    const int t = control->TextBmpHeight();
    manual.Advance(60 * (2 * (t + 1) + 5));
    EXPECT_FALSE(control->Active());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(control->Position(), 0) << "it stops on the start screen";
    EXPECT_EQ(control->RepeatedCount(), -1);
    manual.Advance(6000);
    EXPECT_EQ(completions, 1);
}

TEST_F(ScrollText, RepeatDelayHoldsTheFirstScreenOfEachCycle) {
    auto control = Make(60, 40, {"a"});
    control->SetRepeatDelay(1000);
    manual.Advance(60);
    EXPECT_TRUE(control->DelayTimer().Enabled()) << "cycle 0 starts with the pause";
    EXPECT_FALSE(control->ScrollTimer().Enabled());
    manual.Advance(999);
    EXPECT_EQ(control->Position(), 0);
    manual.Advance(1);
    EXPECT_EQ(control->Position(), 1);
    EXPECT_TRUE(control->ScrollTimer().Enabled());
}

// Paints the text bitmap white by a background picture, so every row differs from black.
void PaintWhite(TSmoothScrollText& control) {
    QImage white(4, 4, QImage::Format_RGB32);
    white.fill(Qt::white);
    TPicture picture;
    picture.SetBitmap(white);
    control.Text().SetBackGround(picture);
}

TEST_F(ScrollText, FadeBandsLeadToTheBackgroundColour) {
    auto control = Make(40, 100, {});
    control->Text().SetFade(true);
    control->Text().SetFadeHeight(10);
    control->SetColor(0x000000);
    PaintWhite(*control);
    const QImage& frame = control->CurrBmp();
    struct Row { int row; int value; };
    // 255 * f / 256 with f = c * 255 div 9.
    for (const Row r : {Row{0, 0}, Row{99, 0}, Row{9, 254}, Row{90, 254}, Row{1, 27}, Row{98, 27}, Row{50, 255}})
        EXPECT_EQ(qRed(frame.pixel(20, r.row)), r.value) << "row " << r.row;
}

TEST_F(ScrollText, FadeBandsOfOneRowOrTallerThanHalfAreDefined) {
    auto control = Make(20, 20, {});
    control->SetColor(0x000000);
    PaintWhite(*control);
    control->Text().SetFade(true);
    control->Text().SetFadeHeight(1);
    EXPECT_EQ(qRed(control->CurrBmp().pixel(5, 0)), 0);
    EXPECT_EQ(qRed(control->CurrBmp().pixel(5, 1)), 255);
    EXPECT_EQ(qRed(control->CurrBmp().pixel(5, 19)), 0);
    // Taller than half the board: used as half of it, and the value itself is kept.
    control->Text().SetFadeHeight(500);
    EXPECT_EQ(control->Text().FadeHeight(), 500);
    for (int row : {0, 9, 10, 19}) {
        const int c = row < 10 ? row : 19 - row;
        EXPECT_EQ(qRed(control->CurrBmp().pixel(5, row)), 255 * (c * 255 / 9) / 256) << "row " << row;
    }
}

TEST_F(ScrollText, AFadeHeightOutOfRangeNeitherCutsOffNorOverflowsTheRows) {
    const struct {
        int fadeHeight, firstRow;
    } cases[] = {{-40, 0}, {0, 0}, {7, 7}, {25, 25}, {26, 25}, {INT_MAX, 25}, {INT_MIN, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fadeHeight);
        auto control = Make(80, 50, Numbered(3));
        control->Text().SetFade(true);
        control->Text().SetFadeHeight(c.fadeHeight);
        const auto& rows = control->Rows();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0].y, c.firstRow);
        EXPECT_GT(rows[2].y, rows[1].y);
        EXPECT_EQ(control->Text().FadeHeight(), c.fadeHeight);
    }
}

TEST_F(ScrollText, OnlyTextChangesRebuildAndRestart) {
    struct Change {
        const char* name;
        std::function<void(TSmoothScrollText&)> apply;
        bool rebuilds;
    };
    const Change changes[] = {
        {"ScrollStep", [](TSmoothScrollText& c) { c.SetScrollStep(3); }, false},
        {"ScrollDelay", [](TSmoothScrollText& c) { c.SetScrollDelay(80); }, false},
        {"RepeatDelay", [](TSmoothScrollText& c) { c.SetRepeatDelay(5); }, false},
        {"Active", [](TSmoothScrollText& c) { c.SetActive(false); }, false},
        {"FontEffect replaced", [](TSmoothScrollText& c) { TSmoothEffect e; e.SetBlur(9); c.Text().SetFontEffect(e); }, false},
        {"RepeatCount", [](TSmoothScrollText& c) { c.SetRepeatCount(4); }, true},
        {"Lines", [](TSmoothScrollText& c) { c.Text().SetLines({"x"}); }, true},
        {"Alignment", [](TSmoothScrollText& c) { c.Text().SetAlignment(taLeftJustify); }, true},
        {"RowPitch", [](TSmoothScrollText& c) { c.Text().SetRowPitch(0); }, true},
        {"Quality", [](TSmoothScrollText& c) { c.Text().SetQuality(TSmoothQuality::aqNone); }, true},
        {"inside FontEffect", [](TSmoothScrollText& c) { c.Text().FontEffect().SetAlpha(50); }, true},
        {"font", [](TSmoothScrollText& c) { c.Text().Font().SetHeight(-20); }, true},
        {"colour", [](TSmoothScrollText& c) { c.Text().SetBackColor(0x00FF00); }, true},
        {"size", [](TSmoothScrollText& c) { c.SetHeight(61); }, true},
        {"a label", [](TSmoothScrollText& c) { c.Labels().AddItem("X", "y", lsCustom); }, true},
    };
    for (const auto& change : changes) {
        auto control = Make(100, 60, Numbered(10));
        control->MoveTo(17);
        change.apply(*control);
        EXPECT_EQ(control->Position(), change.rebuilds ? 0 : 17) << change.name;
        if (change.rebuilds) {
            EXPECT_EQ(control->RepeatedCount(), -1) << change.name << ": a new first cycle";
        }
    }
}

TEST_F(ScrollText, NothingRebuildsBeforeTheFirstPaintOrUnderTheUpdateLock) {
    TSmoothScrollText control(nullptr);
    control.SetBounds(0, 0, 50, 40);
    control.Text().SetLines({"a"});
    EXPECT_FALSE(control.LayoutComplete() && control.LaidOutRows() > 0) << "no layout before loading";
    control.Paint();
    EXPECT_TRUE(control.IsLoaded());
    EXPECT_EQ(control.LaidOutRows(), 1);
    control.BeginUpdate();
    control.Text().SetLines({"a", "b"});
    EXPECT_EQ(control.LaidOutRows(), 1);
    control.EndUpdate();
    control.SetAutoUpdate(false);
    control.Text().SetLines({"a", "b", "c"});
    EXPECT_EQ(control.LaidOutRows(), 1);
}

TEST_F(ScrollText, ScrollDelayChangedWhileInactiveRunsTheTimerAgain) {
    auto control = Make(60, 40, Numbered(5));
    control->SetActive(false);
    EXPECT_FALSE(control->ScrollTimer().Enabled());
    control->SetScrollDelay(100);
    EXPECT_FALSE(control->Active());
    EXPECT_TRUE(control->ScrollTimer().Enabled());
    manual.Advance(400);
    EXPECT_EQ(control->Position(), 4);
}

TEST_F(ScrollText, RightTagHoldsForOneLineOrUntilTheNextLabel) {
    for (int effect : {leOnlyALine, leUntilNextLabel}) {
        auto control = Make(200, 60, {"<Right>ab", "cd"});
        control->Labels().AddItem("Right", "", lsRightJustify);
        control->Text().SetLabelEffect(effect);
        const auto& rows = control->Rows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].text, "ab");
        EXPECT_GT(rows[0].x, 100) << "right-aligned";
        const bool stays = effect == leUntilNextLabel;
        EXPECT_EQ(rows[1].x > 100, stays) << "effect " << effect << ": centred again or still right";
    }
}

TEST_F(ScrollText, FontTagsRestyleAndWrappedLinesStack) {
    auto control = Make(60, 60, {"<Big>x", "aaa bbb ccc ddd", "y"});
    TFontLabel* big = control->Fonts().AddItem("Big", "DejaVu Sans", 24, 0x0000FF, 0, false, 0, 0);
    ASSERT_NE(big, nullptr);
    control->Text().SetLabelEffect(leOnlyALine);
    control->Text().SetWordWrap(true);
    const auto& rows = control->Rows();
    ASSERT_GE(rows.size(), 4u) << "the long line wraps";
    EXPECT_EQ(rows[0].style->font.Size(), 24);
    EXPECT_EQ(rows[1].style->font.Height(), -16) << "only a line";
    EXPECT_EQ(rows[1].text, "aaa ");
    EXPECT_EQ(rows[2].y - rows[1].y, static_cast<int>(std::nearbyint(1.2 * rows[1].height)));
    EXPECT_EQ(rows.back().text, "y");
}

TEST_F(ScrollText, BandsMatchOneWholeBitmap) {
    StringList lines;
    for (int i = 0; i < 60; ++i)
        lines.push_back(i % 5 == 4 ? "<Up>Wgjy " + std::to_string(i)
                        : i % 3    ? "<Shade>gjpqy row " + std::to_string(i)
                                   : G("汉字 ") + std::to_string(i));
    auto control = Make(150, 90, lines);
    TFontLabel* shade = control->Fonts().AddItem("Shade", "DejaVu Sans", 14, 0x0000FF, 0, true, 3, 3);
    shade->Effect().Shadow().SetBlur(40);
    // A shadow up and left puts the text below its top: bands must still take the whole row.
    TFontLabel* up = control->Fonts().AddItem("Up", "DejaVu Sans", 18, 0x00AA00, Bit(fsItalic), true, -4, -5);
    up->Effect().SetOutline(true);
    control->Text().SetRowPitch(-30);  // rows overlap, so band edges cut through ink
    control->Text().SetFade(true);
    ASSERT_GT(control->TextBmpHeight(), 3 * TSmoothScrollText::kBandRows);
    auto drawnWhole = [&] {
        QImage whole(150, control->TextBmpHeight(), QImage::Format_RGB32);
        whole.fill(Qt::white);
        TCanvas canvas(&whole);
        canvas.Brush.Style = TBrushStyle::bsClear;
        TSmoothFontEx renderer(&canvas);
        for (const TextRow& row : control->Rows()) {
            canvas.Font.Assign(row.style->font);
            renderer.Effect().Assign(row.style->effect);
            renderer.TextOut(row.x, row.y, row.text);
        }
        return whole;
    };
    EXPECT_EQ(control->TextBmpImage(), drawnWhole());

    // The head space moves the text a pixel or so at a time, so band edges cut each row at
    // every height, its last inked rows included.
    control->Text().SetLines(StringList(lines.begin(), lines.begin() + 16));
    for (int head = 1; head <= 30; ++head) {
        control->Text().SetHeadSpace(head);
        ASSERT_EQ(control->TextBmpImage(), drawnWhole()) << "head space " << head;
    }
}

TEST_F(ScrollText, LongTextIsLaidOutStepByStepWithTheSameResult) {
    const StringList lines = Numbered(3000);
    auto control = Make(200, 100, lines);
    EXPECT_FALSE(control->LayoutComplete()) << "only the first screen is laid out at once";
    EXPECT_LT(control->LaidOutRows(), 100);
    int ready = 0;
    control->OnTextReady = [&] { ++ready; };
    manual.Advance(200);
    EXPECT_TRUE(control->LayoutComplete());
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(control->LaidOutRows(), 3000);
    EXPECT_LE(control->HeldBandRows(), 4 * TSmoothScrollText::kBandRows) << "only bands on view are held";

    // The same text laid out in one go gives the same bitmap height and rows.
    auto direct = Make(200, 100, {});
    direct->Text().SetLines(lines);
    EXPECT_EQ(direct->TextBmpHeight(), control->TextBmpHeight());
    EXPECT_EQ(direct->Rows().back().y, control->Rows().back().y);
}

// A line far longer than the board (a feed of one 400,000-character line) draws the part the
// board shows: no report, ink across the board, and no mask wider than the board needs.
TEST_F(ScrollText, ALineOfAnyLengthDrawsWhereTheBoardShowsIt) {
    std::string line;
    while (line.size() < 400000) line += "The quick brown fox. ";
    line.resize(400000);
    std::vector<std::string> reported;
    const ErrorReporter previous = SetErrorReporter([&](const QString& m) { reported.push_back(m.toStdString()); });
    // Ink in a column range of the frame's text rows.
    const auto inked = [](const QImage& frame, int from, int to) {
        for (int y = 0; y < frame.height(); ++y)
            for (int x = from; x < to; ++x)
                if (qRed(frame.pixel(x, y)) < 128) return true;
        return false;
    };
    for (const int alignment : {int{taLeftJustify}, int{taCenter}, int{taRightJustify}}) {
        SCOPED_TRACE(alignment);
        auto control = Make(300, 40, {});
        control->Text().SetQuality(TSmoothQuality::aqNormal);
        control->Text().SetAlignment(alignment);
        control->Text().SetLines({line});
        control->Paint();
        const QImage& frame = control->CurrBmp();
        EXPECT_TRUE(inked(frame, 0, 20)) << "the left edge";
        EXPECT_TRUE(inked(frame, 280, 300)) << "the right edge";
        EXPECT_LT(control->Renderer().Mask().Width(), 4 * 300);
        if (alignment == taLeftJustify) {
            // The same pixels as the line's first characters drawn alone.
            auto start = Make(300, 40, {});
            start->Text().SetQuality(TSmoothQuality::aqNormal);
            start->Text().SetAlignment(taLeftJustify);
            start->Text().SetLines({line.substr(0, 200)});
            start->Paint();
            EXPECT_EQ(frame, start->CurrBmp());
        }
    }
    EXPECT_TRUE(reported.empty()) << reported.front();
    SetErrorReporter(previous);
}

}  // namespace
}  // namespace zl
