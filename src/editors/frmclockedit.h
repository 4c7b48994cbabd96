#pragma once
#include "editors/propertydialog.h"
#include "widgets/zorclock.h"

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;

namespace zl {

class TFrameRange;
class TFramenamecolor;

// The clock's dialog: colour, font, bounds, what it shows and from which day it counts.
class TFrmClockEdit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmClockEdit();

    // Fails with "'%s' is not a valid date" when the clock's start date cannot be read; the
    // clock is then unchanged.
    void BindControl(Tzorclock& clock);
    Tzorclock* Target() const { return target_.Get(); }

    TFramenamecolor* Framenamecolor1;
    TFrameRange* FrameRange1;
    QGroupBox* RadioGroupdays;
    QButtonGroup* RadioGroupdaysItems;
    QLineEdit* EditDATEFORMAT;
    QDateEdit* DateTimePicker1;
    QCheckBox* CheckBoxtransparent;

    void RadioGroupdaysClick();
    void EditDATEFORMATChange();
    void DateTimePicker1Change();
    void CheckBoxtransparentClick();

private:
    TargetRef<Tzorclock> target_;
};

void ShowClockEdit(Tzorclock& clock);

}  // namespace zl
