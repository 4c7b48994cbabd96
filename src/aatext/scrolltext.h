#pragma once
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "aatext/customtext.h"
#include "aatext/timerex.h"

namespace zl {

class TSmoothScrollText;

// Text settings that act on a control: its font, colour and renderer quality live there.
class TCustomParam : public TNotifyClass {
public:
    explicit TCustomParam(TSmoothGraphicControl* control, ChangeHandler onChange = {});

    // Copies the settings and takes over the source's control binding.
    void Assign(const TNotifyClass& source) override;

    TSmoothGraphicControl* Control() const { return control_; }
    int Alignment() const { return alignment_; }
    void SetAlignment(int v) { Update(alignment_, std::clamp(v, 0, 2)); }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v) { Update(wordWrap_, v); }
    TPicture& BackGround() { return backGround_; }
    const TPicture& BackGround() const { return backGround_; }
    void SetBackGround(const TPicture& picture);
    int BackGroundMode() const { return backGroundMode_; }
    void SetBackGroundMode(int v) { Update(backGroundMode_, std::clamp(v, 0, 3)); }

    TFont& Font();
    void SetFont(const TFont& font) { Font().Assign(font); }
    TColor BackColor() const;
    void SetBackColor(TColor color);
    TSmoothQuality Quality() const;
    void SetQuality(TSmoothQuality quality);

protected:
    TSmoothGraphicControl* control_;
    int alignment_ = taLeftJustify;
    bool wordWrap_ = false;
    TPicture backGround_;
    int backGroundMode_ = bmTiled;
};

class TCustomTextParam : public TCustomParam {
public:
    explicit TCustomTextParam(TSmoothGraphicControl* control, ChangeHandler onChange = {});
    void Assign(const TNotifyClass& source) override;

    TStringsHolder& LinesHolder() { return lines_; }
    const StringList& Lines() const { return lines_.Lines(); }
    void SetLines(const StringList& lines) { lines_.SetLines(lines); }
    TSmoothEffect& FontEffect() { return fontEffect_; }
    const TSmoothEffect& FontEffect() const { return fontEffect_; }
    // The copy itself tells nothing; later changes inside the effect do.
    void SetFontEffect(const TSmoothEffect& effect) { fontEffect_.Assign(effect); }
    int LabelEffect() const { return labelEffect_; }
    void SetLabelEffect(int v) { Update(labelEffect_, std::clamp(v, 0, 1)); }
    int RowPitch() const { return rowPitch_; }
    void SetRowPitch(int v) { Update(rowPitch_, std::clamp(v, -100, 150)); }

protected:
    TStringsHolder lines_;
    TSmoothEffect fontEffect_;
    int labelEffect_ = leUntilNextLabel;
    int rowPitch_ = 20;
};

// The text settings of a scrolling control, published as its Text property.
class TScrollTextParam : public TCustomTextParam {
public:
    explicit TScrollTextParam(TSmoothGraphicControl* control, ChangeHandler onChange = {});
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    bool Fade() const { return fade_; }
    void SetFade(bool v) { Update(fade_, v); }
    int FadeHeight() const { return fadeHeight_; }
    void SetFadeHeight(int v) { Update(fadeHeight_, v); }
    int HeadSpace() const { return headSpace_; }
    void SetHeadSpace(int v);
    int TailSpace() const { return tailSpace_; }
    void SetTailSpace(int v);

    // The two texts a new control starts with, one chosen at random.
    static const StringList& DefaultTextA();
    static const StringList& DefaultTextB();
    bool HoldsDefaultText() const { return Lines() == DefaultTextA() || Lines() == DefaultTextB(); }

private:
    bool fade_ = true;
    int fadeHeight_ = 10;
    int headSpace_ = 0;
    int tailSpace_ = 60;
};

// Wrappers that publish control properties as one sub-object each.
class TDrag : public Persistent {
public:
    explicit TDrag(zl::Control* control) : control_(control) {}
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    zl::Control* control_;
};

class TParentEffect : public Persistent {
public:
    explicit TParentEffect(zl::Control* control) : control_(control) {}
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    zl::Control* control_;
};

// One laid-out row of text: where it is drawn and in which style.
struct TextRow {
    struct Style {
        TFont font;
        TSmoothEffect effect;
    };
    // Centred and right-aligned rows are placed when first drawn: their width is what costs.
    static constexpr int kUnplaced = INT32_MIN;
    int y = 0;
    int x = 0;
    int height = 0;
    std::string text;
    std::shared_ptr<const Style> style;
    int alignment = 0;
    // A row far wider than the board draws only the bytes [drawFrom, drawFrom + drawLength) of
    // its text, drawX from the board's left; found when first drawn (drawLength 0 until then).
    bool wide = false;
    size_t drawFrom = 0;
    size_t drawLength = 0;
    int drawX = 0;
};

// Multi-line tagged text laid out once and shown through a window that moves up a few pixels
// per tick, wrapping round, with fade bands at the edges. The text bitmap is kept as bands
// rendered on demand from the layout, so a text of any length costs only what is on view.
class TSmoothScrollText : public TSmoothCustomText {
    Q_OBJECT
public:
    explicit TSmoothScrollText(Component* owner, QWidget* parent = nullptr);
    ~TSmoothScrollText() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    TScrollTextParam& Text() { return *text_; }
    void SetText(const TScrollTextParam& text) { text_->Assign(text); }
    TDrag& Drag() { return drag_; }
    TParentEffect& ParentEffect() { return parentEffect_; }

    bool Active() const { return active_; }
    void SetActive(bool v);
    int ScrollDelay() const { return scrollDelay_; }
    void SetScrollDelay(int v);
    int ScrollStep() const { return scrollStep_; }
    void SetScrollStep(int v);
    int ScrollQuality() const { return scrollTimer_->Quality(); }
    void SetScrollQuality(int v);
    int RepeatCount() const { return repeatCount_; }
    void SetRepeatCount(int v);
    int RepeatDelay() const { return repeatDelay_; }
    void SetRepeatDelay(int v);
    void SetAutoUpdate(bool v) override;

    int Position() const { return position_; }
    int RepeatedCount() const { return repeatedCount_; }
    const TTimerEx& ScrollTimer() const { return *scrollTimer_; }
    const Timer& DelayTimer() const { return *delayTimer_; }

    bool UseDefaultLabels() const override { return text_->HoldsDefaultText(); }
    void CreateDefaultFonts() override;

    void SetBounds(int left, int top, int width, int height) override;

    // The height of the whole text bitmap; lays out the rest of the text when it is still going.
    int TextBmpHeight();
    bool LayoutComplete() const { return layout_.complete; }
    int LaidOutRows() const { return static_cast<int>(layout_.rows.size()); }
    // Every row laid out so far, placed.
    const std::vector<TextRow>& Rows();
    // A row of the text as laid out now could not be drawn (the error was reported).
    bool DrawingFailed() const { return reportedGeneration_ == layoutGeneration_; }
    // The whole text bitmap in one image, for checks on small texts.
    QImage TextBmpImage();
    // Rows index × kBandRows onwards of the text bitmap, rendered now unless held.
    const QImage& TextBmpBand(int index) { return BandAt(index); }
    const QImage& CurrBmp() const { return currBmp_; }
    // Rows of the text bitmap rendered and held right now (bands in memory).
    int HeldBandRows() const;
    // Moves the view as a tick does.
    void MoveTo(int position);
    // Lays out the next part of a text still being laid out; false when all is done.
    bool LayoutStep();

    // Composes the current view into CurrBmp (band copy and fades) and shows it.
    void Draw() override;
    // Copies CurrBmp to a surface, as painting does.
    void Present(QPainter& painter) override;

    std::function<void()> OnComplete, OnTextReady, OnPainted;

    static constexpr int kBandRows = 256;

protected:
    void Prepare() override;
    void Reset() override;
    // Lays out the text anew; the rest of a long text follows step by step.
    void CreateText();
    void ScrollTick();
    void DelayTick();

private:
    struct Band {
        int index = -1;
        QImage image;
    };
    struct Layout {
        std::vector<TextRow> rows;
        StringList lines;
        size_t next = 0;
        int y = 0;
        int width = 0;
        int height = 0;  // the whole bitmap's height once complete
        int maxRowHeight = 0;
        bool complete = true;
        TFont font;
        TSmoothEffect effect;
        int alignment = taCenter;
        std::shared_ptr<const TextRow::Style> style;
        std::shared_ptr<const TextRow::Style> baseStyle;
    };
    std::shared_ptr<const TextRow::Style> Snapshot(const TFont& font, const TSmoothEffect& effect) const;
    void LayoutLine(const std::string& source);
    // Sets the x of a row laid out unplaced; the renderer holds the row's style.
    void Place(TextRow& row);
    void Place(TextRow& row, int textWidth);
    // The part of a wide row's text that the board can show, and where it starts.
    void ClipWideRow(TextRow& row);
    void FinishLayout();
    // Makes sure every row above `bottom` is laid out (or the layout is complete).
    void LayoutUntil(int bottom);
    const QImage& BandAt(int index);
    void RenderBand(int index, QImage& image);
    void CopyRows(int from, int count, int to);
    // CurrBmp rows from..from+count-1 of the view at `position` of a text bitmap `textHeight` high.
    void ComposeRows(int position, int textHeight, int from, int count);
    // Rows of the top and of the bottom fade band.
    std::pair<int, int> FadeRows() const;
    int FadeHeightUsed() const;
    void FadeBands();
    int KnownHeight() const { return layout_.complete ? layout_.height : layout_.y; }

    std::unique_ptr<TScrollTextParam> text_;
    TDrag drag_;
    TParentEffect parentEffect_;
    std::unique_ptr<TTimerEx> scrollTimer_;
    std::unique_ptr<Timer> delayTimer_;
    std::unique_ptr<Timer> layoutTimer_;
    QImage currBmp_;
    // What CurrBmp shows, so the next step can reuse it.
    struct Shown {
        bool valid = false;
        int generation = 0;
        int position = 0;
        int textHeight = 0;
        TColor color = 0;
        std::pair<int, int> fadeRows;
        int fadeHeight = 0;
    };
    Shown shown_;
    // A frame asked for but not yet painted on the window: the next one repaints whole, since
    // moving the window's picture would move a picture that is not there yet.
    bool paintPending_ = false;
    int layoutGeneration_ = 0;
    int reportedGeneration_ = -1;  // the layout whose drawing error was reported
    std::list<Band> bands_;
    Layout layout_;
    int position_ = 0;
    int repeatedCount_ = -1;
    bool active_ = false;
    int scrollDelay_ = 0;
    int scrollStep_ = 1;
    int repeatCount_ = 0;
    int repeatDelay_ = 0;
};

}  // namespace zl
