#pragma once
#include <QDialog>
#include <array>
#include <string>

#include "msgdialog/msgdialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zl {

// The window of TMsgDialog, made for one call and freed after it. Sizes follow the frame
// model of dialog windows: the dialog's Width and Height include a 3-pixel border left, right
// and bottom and a 23-pixel title bar, so the client area is Width - 6 by Height - 26.
class TfrmMsgDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFrameLeft = 3;
    static constexpr int kFrameTop = 23;
    static constexpr int kFrameWidth = 6;
    static constexpr int kFrameHeight = 26;

    explicit TfrmMsgDialog(QWidget* parent = nullptr);

    int Width() const { return width() + kFrameWidth; }
    int Height() const { return height() + kFrameHeight; }
    void SetDialogSize(int width, int height);

    // The input query puts the label across the top with its text centred before laying out.
    void SetLabelOnTop(bool onTop);
    // Sets the message, icon, title and button row; `msg` is GBK.
    void PrepareDialog(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons,
                       int helpContext);
    // Shows the input field below the label with `value` (GBK) in it.
    void ShowInputField(const std::string& value, bool password);
    // Moves the window to the middle of its screen.
    void CenterOnScreen();

    QPushButton* Button(TMsgDlgBtn button) const { return buttons_[button]; }
    int HelpContext() const { return helpContext_; }
    // The code of the button that ended the dialog; 2 when none did.
    int ResultCode() const { return resultCode_; }

    QLabel* expWarn;
    QLabel* expError;
    QLabel* expConf;
    QLabel* expInfo;
    QLabel* dlgLabel;
    QLineEdit* txtEdit;
    QPushButton* cmdYes;
    QPushButton* cmdNo;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    QPushButton* cmdAbort;
    QPushButton* cmdRetry;
    QPushButton* cmdIgnore;
    QPushButton* cmdAll;
    QPushButton* cmdNotoAll;
    QPushButton* cmdYestoAll;
    QPushButton* cmdHelp;

signals:
    void helpRequested(int helpContext);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ButtonClicked(TMsgDlgBtn button);
    void EditReturnPressed();

    std::array<QPushButton*, kMsgDlgBtnCount> buttons_{};
    bool labelOnTop_ = false;
    int helpContext_ = 0;
    int resultCode_ = kResultCancel;
};

}  // namespace zl
