#include "editors/frmformedit.h"

#include <QSignalBlocker>

#include "editors/framenamecolor.h"
#include "editors/framerange.h"
#include "editors/spinedit.h"

namespace zl {

TFrmformedit::TFrmformedit() : TPropertyDialog("Frmformedit", "页面属性编辑器", 257, 234) {
    Framenamecolor1 = new TFramenamecolor(this);
    Framenamecolor1->HideFontRow();
    Framenamecolor1->setGeometry(8, 32, 241, 24);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 64, 241, 76);
    NewCaption(this, "显示", {8, 155, 32, 18});
    SpinEditDisplayTime = new TSpinEdit(this);
    SpinEditDisplayTime->setObjectName("SpinEditDisplayTime");
    SpinEditDisplayTime->setGeometry(42, 152, 72, 22);
    NewCaption(this, "秒后进入下一页", {118, 155, 131, 18});
    connect(SpinEditDisplayTime, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditDisplayTimeChange(); }));
}

void TFrmformedit::BindControl(TZorForm& page) {
    target_.Set(&page);
    Framenamecolor1->BindControl(page);
    FrameRange1->BindControl(page);
    ShowTarget(page);
    const QSignalBlocker quiet(SpinEditDisplayTime);
    SpinEditDisplayTime->SetValue(page.displaytime);
}

void TFrmformedit::SpinEditDisplayTimeChange() {
    if (TZorForm* page = Target()) page->displaytime = SpinEditDisplayTime->Value();
}

void ShowFormEdit(TZorForm& page) {
    TFrmformedit dialog;
    dialog.BindControl(page);
    dialog.exec();
}

}  // namespace zl
