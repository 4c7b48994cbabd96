#include "msgdialog/frmmsgdlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QValidator>

#include "qtbase/qtstrings.h"

namespace zl {
namespace {

struct ButtonInfo {
    const char* name;
    const char* caption;
    int result;  // 0: the button does not end the dialog
    bool endsAsOk;
};

// Indexed by TMsgDlgBtn.
constexpr ButtonInfo kButtons[kMsgDlgBtnCount] = {
    {"cmdYes", "&Y是", kResultYes, true},
    {"cmdNo", "&N不", kResultNo, true},
    {"cmdOk", "&O确定", kResultOk, true},
    {"cmdCancel", "放弃", kResultCancel, false},
    {"cmdAbort", "&A放弃   ", kResultAbort, true},
    {"cmdRetry", "&R重试", kResultRetry, true},
    {"cmdIgnore", "&I忽略", kResultIgnore, true},
    {"cmdAll", "&A全部", kResultAll, true},
    {"cmdNotoAll", "&X全部不", kResultNoToAll, true},
    {"cmdYestoAll", "&A全部是", kResultYesToAll, true},
    {"cmdHelp", "&H帮助", 0, false},
};

constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kIconSize = 40;
constexpr int kFieldGap = 10;

const char* const kFlatButtonStyle =
    "QPushButton { border: 1px solid #8c9bab; border-radius: 2px; background: #f4f4f4;"
    " color: black; padding: 0px; }"
    "QPushButton:hover { background: #e3eefa; border-color: #3d7ab8; }"
    "QPushButton:pressed { background: #c9ddf2; }"
    "QPushButton:focus { border-color: #3d7ab8; }";

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(17);
    return font;
}

// Typed text is stored as GBK, so characters GBK cannot hold are refused rather than
// silently turned into "?".
class GbkValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return Q(Gbk(input)) == input ? Acceptable : Invalid;
    }
};

QLabel* MakeIcon(QWidget* parent, const char* name, QStyle::StandardPixmap pixmap) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QString::fromLatin1(name));
    icon->setGeometry(8, 8, kIconSize, kIconSize);
    icon->setPixmap(parent->style()->standardIcon(pixmap).pixmap(kIconSize, kIconSize));
    icon->setAttribute(Qt::WA_TranslucentBackground);
    icon->hide();
    return icon;
}

}  // namespace

ButtonRow LayOutButtonRow(int dialogWidth, int buttonCount) {
    ButtonRow row{dialogWidth, {}};
    if (buttonCount <= 0) return row;
    if (row.dialogWidth < buttonCount * 100) row.dialogWidth = buttonCount * 100 + 8;
    const int parts = buttonCount + 1;
    int spacing = row.dialogWidth / parts;
    const int twiceRest = 2 * (row.dialogWidth % parts);
    if (twiceRest > parts || (twiceRest == parts && spacing % 2 != 0)) ++spacing;
    for (int k = 1; k <= buttonCount; ++k) row.lefts.push_back(spacing * k - 45);
    return row;
}

TfrmMsgDialog::TfrmMsgDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmMsgDialog"));
    setFont(DialogFont());
    setFixedSize(277, 121);

    expWarn = MakeIcon(this, "expWarn", QStyle::SP_MessageBoxWarning);
    expError = MakeIcon(this, "expError", QStyle::SP_MessageBoxCritical);
    expConf = MakeIcon(this, "expConf", QStyle::SP_MessageBoxQuestion);
    expInfo = MakeIcon(this, "expInfo", QStyle::SP_MessageBoxInformation);

    dlgLabel = new QLabel(this);
    dlgLabel->setObjectName(QStringLiteral("dlgLabel"));
    dlgLabel->setTextFormat(Qt::PlainText);  // ampersands and angle brackets shown as they are
    dlgLabel->setWordWrap(false);
    dlgLabel->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = dlgLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    dlgLabel->setPalette(palette);
    dlgLabel->move(56, 8);

    txtEdit = new QLineEdit(this);
    txtEdit->setObjectName(QStringLiteral("txtEdit"));
    txtEdit->setValidator(new GbkValidator(txtEdit));
    txtEdit->hide();
    connect(txtEdit, &QLineEdit::returnPressed, this, &TfrmMsgDialog::EditReturnPressed);

    for (int i = 0; i < kMsgDlgBtnCount; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(kButtons[i].caption), this);
        button->setObjectName(QString::fromLatin1(kButtons[i].name));
        button->setFlat(true);
        button->setStyleSheet(QString::fromLatin1(kFlatButtonStyle));
        // Enter belongs to the input field; a button is pressed by click, Space or accelerator.
        button->setAutoDefault(false);
        button->resize(kButtonWidth, kButtonHeight);
        button->hide();
        const auto which = static_cast<TMsgDlgBtn>(i);
        connect(button, &QPushButton::clicked, this, [this, which] { ButtonClicked(which); });
        buttons_[i] = button;
    }
    cmdYes = buttons_[mbYes];
    cmdNo = buttons_[mbNo];
    cmdOk = buttons_[mbOK];
    cmdCancel = buttons_[mbCancel];
    cmdAbort = buttons_[mbAbort];
    cmdRetry = buttons_[mbRetry];
    cmdIgnore = buttons_[mbIgnore];
    cmdAll = buttons_[mbAll];
    cmdNotoAll = buttons_[mbNoToAll];
    cmdYestoAll = buttons_[mbYesToAll];
    cmdHelp = buttons_[mbHelp];
}

void TfrmMsgDialog::SetDialogSize(int width, int height) {
    setFixedSize(width - kFrameWidth, height - kFrameHeight);
    if (labelOnTop_) dlgLabel->resize(this->width(), dlgLabel->height());
}

void TfrmMsgDialog::SetLabelOnTop(bool onTop) {
    labelOnTop_ = onTop;
    if (onTop) {
        // The margin keeps the text off the title bar; it counts in the label's height.
        dlgLabel->setContentsMargins(0, 8, 0, 0);
        dlgLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        dlgLabel->setGeometry(0, 0, width(), dlgLabel->sizeHint().height());
    } else {
        dlgLabel->setContentsMargins(0, 0, 0, 0);
        dlgLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
}

void TfrmMsgDialog::PrepareDialog(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons,
                                  int helpContext) {
    dlgLabel->setText(Q(msg));
    if (labelOnTop_)
        dlgLabel->setGeometry(0, 0, width(), dlgLabel->sizeHint().height());
    else
        dlgLabel->setGeometry(60, 8, dlgLabel->sizeHint().width(), dlgLabel->sizeHint().height());
    helpContext_ = helpContext;

    int dialogWidth = dlgLabel->width() + 100;
    const int dialogHeight = dlgLabel->height() + 100;

    for (QLabel* icon : {expWarn, expError, expConf, expInfo}) icon->hide();
    switch (type) {
        case mtWarning:
            expWarn->show();
            setWindowTitle(QStringLiteral("警告"));
            break;
        case mtError:
            expError->show();
            setWindowTitle(QStringLiteral("错误"));
            break;
        case mtInformation:
            expInfo->show();
            setWindowTitle(QStringLiteral("信息"));
            break;
        case mtConfirmation:
            expConf->show();
            setWindowTitle(QStringLiteral("请确定"));
            break;
        case mtCustom:
            setWindowTitle(QGuiApplication::applicationDisplayName());
            break;
    }

    int count = 0;
    for (int i = 0; i < kMsgDlgBtnCount; ++i) count += Contains(buttons, static_cast<TMsgDlgBtn>(i));
    const ButtonRow row = LayOutButtonRow(dialogWidth, count);
    dialogWidth = row.dialogWidth;
    SetDialogSize(dialogWidth, dialogHeight);

    int k = 0;
    for (int i = 0; i < kMsgDlgBtnCount; ++i) {
        QPushButton* button = buttons_[i];
        if (!Contains(buttons, static_cast<TMsgDlgBtn>(i))) {
            button->hide();
            continue;
        }
        button->move(row.lefts[k++], dialogHeight - 60);
        button->show();
    }
}

void TfrmMsgDialog::ShowInputField(const std::string& value, bool password) {
    const int fieldWidth = Width() - 50;
    txtEdit->setGeometry((Width() - fieldWidth) / 2, dlgLabel->height() + 10, fieldWidth,
                         txtEdit->sizeHint().height());
    // Qt's field is taller than the one the layout was made for: keep the button row clear.
    const int buttonTop = txtEdit->geometry().bottom() + 1 + kFieldGap;
    if (Height() - 60 < buttonTop) {
        SetDialogSize(Width(), buttonTop + 60);
        for (QPushButton* button : buttons_) button->move(button->x(), buttonTop);
    }
    txtEdit->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    txtEdit->setStyleSheet(password ? QStringLiteral("lineedit-password-character: 42;") : QString());
    txtEdit->setText(Q(value));
    txtEdit->selectAll();
    txtEdit->show();
    txtEdit->setFocus();
}

void TfrmMsgDialog::CenterOnScreen() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(Width() / 2, Height() / 2));
}

void TfrmMsgDialog::showEvent(QShowEvent* event) {
    resultCode_ = kResultCancel;
    QDialog::showEvent(event);
}

void TfrmMsgDialog::ButtonClicked(TMsgDlgBtn button) {
    const ButtonInfo& info = kButtons[button];
    if (info.result == 0) {
        buttons_[button]->setDown(false);
        emit helpRequested(helpContext_);
        return;
    }
    resultCode_ = info.result;
    done(info.endsAsOk ? Accepted : Rejected);
}

void TfrmMsgDialog::EditReturnPressed() {
    if (cmdOk->isVisibleTo(this))
        cmdOk->click();
    else if (cmdYes->isVisibleTo(this))
        cmdYes->click();
}

}  // namespace zl
