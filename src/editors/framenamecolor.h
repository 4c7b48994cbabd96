#pragma once
#include <QFrame>

#include "editors/editorlook.h"

class QLabel;
class QPushButton;

namespace zl {

class TColorBox;
class TLabelFont;

// Colour and font of a widget or of the page window; dialogs may hide the font row.
class TFramenamecolor : public QFrame {
    Q_OBJECT
public:
    explicit TFramenamecolor(QWidget* parent = nullptr);

    // Shows the control's colour and font; writes nothing to it.
    void BindControl(Control& control);
    Control* Target() const { return target_.Get(); }
    void HideFontRow();

    TColorBox* ColorBox1;
    TLabelFont* Labelfont;
    QPushButton* BitBtnselectfont;

    void ColorBox1Change();
    void BitBtnselectfontClick();

private:
    TargetRef<Control> target_;
    QLabel* fontCaption_;
};

}  // namespace zl
