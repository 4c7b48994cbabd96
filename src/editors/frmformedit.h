#pragma once
#include "editors/propertydialog.h"
#include "page/zorform.h"

namespace zl {

class TFrameRange;
class TFramenamecolor;
class TSpinEdit;

// The page's dialog: background colour, the page window's place and size, and how long the
// page stays on screen during play.
class TFrmformedit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmformedit();

    void BindControl(TZorForm& page);
    TZorForm* Target() const { return target_.Get(); }

    TFramenamecolor* Framenamecolor1;
    TFrameRange* FrameRange1;
    TSpinEdit* SpinEditDisplayTime;

    void SpinEditDisplayTimeChange();

private:
    TargetRef<TZorForm> target_;
};

void ShowFormEdit(TZorForm& page);

}  // namespace zl
