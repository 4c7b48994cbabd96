#pragma once
#include <QFrame>

#include "editors/editorlook.h"

namespace zl {

class TSpinEdit;

// Position and size of a widget or of the page window.
class TFrameRange : public QFrame {
    Q_OBJECT
public:
    explicit TFrameRange(QWidget* parent = nullptr);

    // Shows the control's bounds; writes nothing to it.
    void BindControl(Control& control);
    Control* Target() const { return target_.Get(); }

    TSpinEdit* SpinEditLeft;
    TSpinEdit* SpinEditTop;
    TSpinEdit* SpinEditWidth;
    TSpinEdit* SpinEditheight;

    void SpinEditLeftChange();
    void SpinEditTopChange();
    void SpinEditWidthChange();
    void SpinEditheightChange();

private:
    TargetRef<Control> target_;
};

}  // namespace zl
