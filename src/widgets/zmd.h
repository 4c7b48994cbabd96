#pragma once
#include <QFont>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "qtbase/control.h"

class QPainter;

namespace zl {

enum TRunDirection { diLeftToRight, diRightToLeft, diTopToBottom, diBottomToTop };
enum TRunFontStyle { slNormal, slLowered, slRaised };
extern const NameTable kRunDirectionNames;
extern const NameTable kRunFontStyleNames;
// TRunTextLayout shares its identifiers and ordinals with the label's TTextLayout.

// The marquee: one line of text moved across the rectangle frame by frame by a timer of its
// own, pass after pass, a given number of times or without end.
class Tzmd : public QWidget, public Control {
    Q_OBJECT
public:
    explicit Tzmd(Component* owner, QWidget* parent = nullptr);
    ~Tzmd() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    bool Active() const { return active_; }
    void SetActive(bool v);
    int Direction() const { return direction_; }
    void SetDirection(int v);
    int TextStyle() const { return textStyle_; }
    void SetTextStyle(int v);
    int TextLayout() const { return textLayout_; }
    void SetTextLayout(int v);
    int Speed() const { return speed_; }
    // Held within 1..1000 ms; also the frame timer's interval.
    void SetSpeed(int v);
    int NumRepeat() const { return numRepeat_; }
    void SetNumRepeat(int v) { numRepeat_ = static_cast<std::uint16_t>(v); }
    bool Continuous() const { return continuous_; }
    void SetContinuous(bool v) { continuous_ = v; }
    int Steps() const { return steps_; }
    // A running pass picks up the new value at its next frame.
    void SetSteps(int v) { steps_ = v; }
    const std::string& RunningCaption() const { return runningCaption_; }
    void SetRunningCaption(const std::string& v);

    int Alignment() const { return alignment_; }
    void SetAlignment(int v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    std::string FocusControl;

    // Frame state: the step within the pass and the passes done since activation.
    int Step() const { return step_; }
    int PassCount() const { return passCount_; }
    const Timer& FrameTimer() const { return *timer_; }

    // Places the text for the current step (at rest when inactive) and requests its paint.
    void DrawFrame();
    // Where the last frame put the text's top-left corner.
    QPoint FramePosition() const { return framePosition_; }
    // Where DrawFrame would put the text's top-left corner now.
    QPoint TextPosition() const;
    // The text's box: its extent plus 2 in each direction.
    QSize TextBox() const;
    // True while a long new text is still being laid out; the previous text is shown until then.
    bool LayingOut() const { return laying_; }
    // What a paint shows: the background (unless transparent) and the text where the last
    // frame put it, or at rest while inactive.
    void PaintFrame(QPainter& painter);

    void Changed() override;

    // Memory a marquee may hold for the picture of its text; a marquee whose strip would need
    // more draws its text afresh every frame. Every marquee shares the one limit.
    static void SetStripBudget(size_t bytes);
    static size_t StripBudget();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The text as drawn: converted and measured in pieces, so that a frame draws only the
    // pieces in view and its cost does not grow with the text.
    struct LaidOutText {
        std::uint64_t generation = 0;
        QFont font;
        QString text;
        std::vector<qsizetype> starts;  // where each piece starts in text, then its end
        std::vector<double> xs;         // each piece's x from the text's start, then the width
        QSize box;
        int ascent = 0;
        int overhang = 0;  // how far a glyph may reach beyond its piece
    };

    void FrameTick();
    // Starts laying out a changed text or font; short texts are done at once.
    void UpdateTextCache() const;
    // Lays out the next slice of a long text; true once it is shown.
    bool LayoutSlice() const;
    void LayoutTick();
    void DrawVisibleText(QPainter& painter, int x, int baseline, int right) const;
    // Draws the text as it stands at `at` from the strip, rebuilt when the text, its look or
    // the part in view call for it, and sets `covered` to what it drew; false when no strip
    // fits the budget.
    bool PaintFromStrip(QPainter& painter, QPoint at, QRect& covered);
    void DrawText(QPainter& painter, int x, int baseline, int right) const;

    static constexpr qsizetype kPieceLength = 16;
    // Bytes of text converted and measured per slice, well inside 100 ms on a slow PC.
    static constexpr size_t kSliceBytes = 32 * 1024;

    std::unique_ptr<Timer> timer_;
    std::unique_ptr<Timer> layoutTimer_;
    int passCount_ = 0;
    bool active_ = false;
    int direction_ = diLeftToRight;
    int textStyle_ = slNormal;
    int textLayout_ = tlTop;
    int speed_ = 100;
    std::uint16_t numRepeat_ = 0;
    bool continuous_ = false;
    int steps_ = 100;
    int step_ = 0;
    std::string runningCaption_;
    int alignment_ = taLeftJustify;
    bool transparent_ = false;
    QPoint framePosition_;
    bool framed_ = false;  // a frame was drawn since the last activation

    // Measuring is the costly part of a frame; redone only when text or font change. A long
    // text is laid out slice by slice while the previous one stays shown.
    std::uint64_t generation_ = 1;  // counts caption changes; a font change is seen by comparison
    mutable LaidOutText shown_;
    mutable LaidOutText pending_;
    mutable size_t pendingBytes_ = 0;  // bytes of the caption laid out into pending_
    mutable bool laying_ = false;
    mutable std::uint64_t layouts_ = 0;  // counts texts shown, so the strip knows its own

    // A picture of part of the text over its background, moved into place each frame instead
    // of drawing the glyphs again: large glyphs are filled as outlines on every draw. It spans
    // a window of the text around the part in view, so its memory does not grow with the text.
    struct Strip {
        QImage image;
        std::uint64_t layout = 0;
        QFont font;
        QRgb background = 0, pen = 0;
        int style = slNormal;
        int left = 0;  // text x of the image's first column
        int pad = 0;   // rows above the text box the image holds
        int widgetWidth = 0;
    };
    Strip strip_;
};

}  // namespace zl
