#pragma once
#include "editors/propertydialog.h"
#include "widgets/zorledlabel.h"

class QCheckBox;
class QLineEdit;

namespace zl {

class TFrameRange;
class TFramenamecolor;

// The label's dialog: colour, font, bounds, text and transparency.
class TFrmLabelEdit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmLabelEdit();

    void BindControl(Tzorledlabel& label);
    Tzorledlabel* Target() const { return target_.Get(); }

    TFramenamecolor* Framenamecolor1;
    TFrameRange* FrameRange1;
    QLineEdit* Editcaption;
    QCheckBox* CheckBoxtransparent;

    void EditcaptionChange();
    void CheckBoxtransparentClick();

private:
    TargetRef<Tzorledlabel> target_;
};

void ShowLabelEdit(Tzorledlabel& label);

}  // namespace zl
