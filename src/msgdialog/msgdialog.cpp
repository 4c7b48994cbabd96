#include "msgdialog/msgdialog.h"

#include <QLineEdit>

#include "msgdialog/frmmsgdlg.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

void ConnectHelp(TfrmMsgDialog& form, const std::function<void(int)>& onHelp) {
    if (!onHelp) return;
    QObject::connect(&form, &TfrmMsgDialog::helpRequested, &form, [onHelp](int context) { onHelp(context); });
}

}  // namespace

int TMsgDialog::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    // The query borrows the three properties; they come back however the call ends.
    struct Restore {
        TMsgDialog& dialog;
        std::string msg;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
        ~Restore() {
            dialog.msg_ = std::move(msg);
            dialog.dialogType_ = type;
            dialog.dialogButtons_ = buttons;
        }
    } restore{*this, msg_, dialogType_, dialogButtons_};

    if (!prompt.empty()) msg_ = prompt;
    dialogType_ = mtCustom;
    dialogButtons_ = MsgDlgButtons({mbOK, mbCancel});

    TfrmMsgDialog form;
    ConnectHelp(form, OnHelp);
    form.SetLabelOnTop(true);
    form.PrepareDialog(msg_, dialogType_, dialogButtons_, helpContextId_);
    if (!caption.empty()) form.setWindowTitle(Q(caption));
    form.ShowInputField(value, password_);
    form.CenterOnScreen();

    const bool endedAsOk = form.exec() == QDialog::Accepted;
    if (endedAsOk && !form.txtEdit->text().isEmpty()) value = Gbk(form.txtEdit->text());
    return form.ResultCode();
}

int TMsgDialog::Execute() {
    TfrmMsgDialog form;
    ConnectHelp(form, OnHelp);
    form.PrepareDialog(msg_, dialogType_, dialogButtons_, helpContextId_);
    form.CenterOnScreen();
    form.exec();
    return form.ResultCode();
}

}  // namespace zl
