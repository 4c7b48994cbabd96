#pragma once
#include "editors/propertydialog.h"
#include "widgets/zmd.h"

class QLineEdit;

namespace zl {

class TFrameRange;
class TFramenamecolor;
class TFrameinterface;
class TSpinEdit;

// The marquee's dialog: colour, font, bounds, speed, steps, the running text and its source.
class TFrmZmdEdit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmZmdEdit();

    void BindControl(Tzmd& marquee);
    Tzmd* Target() const { return target_.Get(); }

    TFramenamecolor* Framenamecolor1;
    TFrameRange* FrameRange1;
    TSpinEdit* SpinEditSpeed;
    TSpinEdit* SpinEditSteps;
    QLineEdit* Editcaption;
    TFrameinterface* Frameinterface1;

    void EditcaptionChange();
    // The marquee holds its speed within its own range; the field keeps what was typed.
    void SpinEditSpeedChange();
    void SpinEditStepsChange();

private:
    TargetRef<Tzmd> target_;
};

void ShowZmdEdit(Tzmd& marquee);

}  // namespace zl
