#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// A styled modal message and input dialog with Chinese button captions, shown in place of the
// platform's message box. Every text passed in or out (message, caption, prompt, value) is a
// GBK byte string, like the rest of the model; conversion to Qt happens inside.
namespace zl {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Set elements as bit indexes; the order is also the order in which buttons are placed.
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
                  mbYesToAll, mbHelp };
constexpr int kMsgDlgBtnCount = 11;

using TMsgDlgButtons = std::uint32_t;
constexpr TMsgDlgButtons MsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    TMsgDlgButtons set = 0;
    for (TMsgDlgBtn b : buttons) set |= TMsgDlgButtons{1} << b;
    return set;
}
constexpr bool Contains(TMsgDlgButtons set, TMsgDlgBtn button) { return (set >> button) & 1u; }

// Result codes of the buttons; a dialog closed other than by a button gives kResultCancel.
enum MsgDlgResult {
    kResultOk = 1, kResultCancel = 2, kResultAbort = 3, kResultRetry = 4, kResultIgnore = 5,
    kResultYes = 6, kResultNo = 7, kResultAll = 8, kResultNoToAll = 9, kResultYesToAll = 10
};

// The button row: the dialog widens to n * 100 + 8 when narrower than n * 100, the spacing is
// width / (n + 1) rounded half to even, and the k-th button (from 1) stands at spacing * k - 45.
struct ButtonRow {
    int dialogWidth;
    std::vector<int> lefts;
};
ButtonRow LayOutButtonRow(int dialogWidth, int buttonCount);

class TMsgDialog {
public:
    TMsgDialog() = default;

    TMsgDlgType DialogType() const { return dialogType_; }
    void SetDialogType(TMsgDlgType type) { dialogType_ = type; }
    TMsgDlgButtons DialogButtons() const { return dialogButtons_; }
    void SetDialogButtons(TMsgDlgButtons buttons) { dialogButtons_ = buttons; }
    int HelpContextID() const { return helpContextId_; }
    void SetHelpContextID(int id) { helpContextId_ = id; }
    const std::string& Msg() const { return msg_; }
    void SetMsg(const std::string& msg) { msg_ = msg; }
    // Nothing in the program sets it; when true the input field shows "*" for every character.
    bool Password() const { return password_; }
    void SetPassword(bool password) { password_ = password; }

    // Called with the help context when the help button is pressed; the dialog stays open.
    std::function<void(int helpContext)> OnHelp;

    // Asks for a text under the window title `caption` (the application's title when empty)
    // with the label `prompt` (Msg when empty) and the buttons "&O确定" and "放弃". Returns the
    // code of the button that ended it, 2 when closed otherwise. `value` takes the entered text
    // only when the dialog ended as OK with a non-empty field.
    int InputQuery(const std::string& caption, const std::string& prompt, std::string& value);

    // Shows Msg with the icon and title of DialogType and the buttons of DialogButtons; returns
    // the code of the button that ended it, 2 when closed otherwise.
    int Execute();

private:
    TMsgDlgType dialogType_ = mtInformation;
    TMsgDlgButtons dialogButtons_ = MsgDlgButtons({mbOK});
    int helpContextId_ = 0;
    std::string msg_ = "Message";
    bool password_ = false;
};

}  // namespace zl
