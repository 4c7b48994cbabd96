#pragma once
#include "aatext/scrolltext.h"
#include "editors/propertydialog.h"

class QPlainTextEdit;

namespace zl {

class TColorBox;
class TFrameRange;
class TFrameinterface;
class TLabelFont;
class TSpinEdit;

// The board's dialog. Its colours and font live in the text settings, so the dialog has its own
// colour and font controls.
class TFrmScrollTextEdit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmScrollTextEdit();

    void BindControl(TSmoothScrollText& board);
    TSmoothScrollText* Target() const { return target_.Get(); }

    TColorBox* ColorBox1;
    TLabelFont* Labelfont;
    QPushButton* BitBtnselectfont;
    TFrameRange* FrameRange1;
    TSpinEdit* SpinEditSpeed;
    TSpinEdit* SpinEditSteps;
    QPlainTextEdit* MemoText;
    TFrameinterface* Frameinterface1;

    void ColorBox1Change();
    void BitBtnselectfontClick();
    // The delay is a 16-bit unsigned value: what is handed over is taken modulo 65536.
    void SpinEditSpeedChange();
    void SpinEditStepsChange();
    // Replaces all of the board's lines by the memo's, as one change.
    void MemoTextChange();

private:
    TargetRef<TSmoothScrollText> target_;
};

void ShowScrollTextEdit(TSmoothScrollText& board);

// A memo shows every line followed by a line break, as the lines are added one by one; reading
// it back drops the empty text after the last break, so lines go round unchanged.
QString MemoTextOf(const StringList& lines);
StringList MemoLines(const QString& text);

}  // namespace zl
