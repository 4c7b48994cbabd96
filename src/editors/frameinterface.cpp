#include "editors/frameinterface.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>
#include <climits>

#include "editors/spinedit.h"
#include "qtbase/qtstrings.h"

namespace zl {

std::optional<DataSourceProps> DataSourceOf(Control&) { return std::nullopt; }

int RefreshSecondsToMs(int seconds) {
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(seconds) * 1000, INT_MIN, INT_MAX));
}

TFrameinterface::TFrameinterface(QWidget* parent) : QFrame(parent) {
    setObjectName("Frameinterface1");
    TextFileFilter = U("所有支持文件 (*.txt *.TXT)");
    TextFileExt = QStringLiteral("txt");
    ExeFileFilter = U("所有支持文件 (*.exe *.EXE *.so)");
    ExeFileExt = QStringLiteral("exe");

    RadioGroupdatainterface = new QGroupBox(U("显示数据来源"), this);
    RadioGroupdatainterface->setObjectName("RadioGroupdatainterface");
    RadioGroupdatainterface->setFont(CaptionFont());
    RadioGroupdatainterface->setGeometry(0, 0, 218, 84);
    RadioGroupItems = new QButtonGroup(this);
    int y = 20;
    for (const char* item : {"当前定义内容", "文本文件", "数据接口"}) {
        auto* radio = new QRadioButton(U(item), RadioGroupdatainterface);
        radio->setFont(CaptionFont());
        radio->setGeometry(10, y, 200, 20);
        RadioGroupItems->addButton(radio, RadioGroupItems->buttons().size());
        y += 21;
    }
    RadioGroupItems->button(0)->setChecked(true);

    const auto pathRow = [this](const char* caption, const char* editName, const char* buttonName, int top,
                                QLineEdit*& edit, QPushButton*& button) {
        NewCaption(this, caption, {0, top, 218, 18});
        edit = new QLineEdit(this);
        edit->setObjectName(editName);
        edit->setGeometry(0, top + 20, 164, 22);
        button = new QPushButton(U("选择"), this);
        button->setObjectName(buttonName);
        button->setAutoDefault(false);
        button->setGeometry(168, top + 19, 50, 24);
    };
    pathRow("数据来源文本文件:", "EditTextFileName", "BitBtnseltxtfile", 90, EditTextFileName, BitBtnseltxtfile);
    pathRow("数据来源接口程序:", "EditExeFileName", "BitBtnselexefile", 138, EditExeFileName, BitBtnselexefile);
    NewCaption(this, "每隔", {0, 191, 32, 18});
    SpinEditDataRefreshTime = new TSpinEdit(this);
    SpinEditDataRefreshTime->setObjectName("SpinEditDataRefreshTime");
    SpinEditDataRefreshTime->setGeometry(34, 188, 76, 22);
    NewCaption(this, "秒更新数据", {114, 191, 104, 18});

    connect(RadioGroupItems, &QButtonGroup::idClicked, this, GuardedHandler([this] { RadioGroupdatainterfaceClick(); }));
    connect(EditTextFileName, &QLineEdit::textChanged, this, GuardedHandler([this] { EditTextFileNameChange(); }));
    connect(EditExeFileName, &QLineEdit::textChanged, this, GuardedHandler([this] { EditExeFileNameChange(); }));
    connect(SpinEditDataRefreshTime, &TSpinEdit::Changed, this,
            GuardedHandler([this] { SpinEditDataRefreshTimeChange(); }));
    connect(BitBtnseltxtfile, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnseltxtfileClick(); }));
    connect(BitBtnselexefile, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnselexefileClick(); }));
}

void TFrameinterface::BindControl(Control& widget) {
    target_.Set(&widget);
    props_ = DataSourceOf(widget);
    if (!props_) return;
    const QSignalBlocker a(EditTextFileName), b(EditExeFileName), c(SpinEditDataRefreshTime);
    if (QAbstractButton* item = RadioGroupItems->button(props_->datainterface())) item->setChecked(true);
    EditTextFileName->setText(Q(props_->TextFileName()));
    EditExeFileName->setText(Q(props_->ExeFileName()));
    SpinEditDataRefreshTime->SetValue(props_->DataRefreshTime() / 1000);
}

const DataSourceProps* TFrameinterface::Props() const { return props_ && Target() ? &*props_ : nullptr; }

void TFrameinterface::RadioGroupdatainterfaceClick() {
    if (const DataSourceProps* p = Props()) p->setDatainterface(RadioGroupItems->checkedId());
}

void TFrameinterface::EditTextFileNameChange() {
    if (const DataSourceProps* p = Props()) p->setTextFileName(Gbk(EditTextFileName->text()));
}

void TFrameinterface::EditExeFileNameChange() {
    if (const DataSourceProps* p = Props()) p->setExeFileName(Gbk(EditExeFileName->text()));
}

void TFrameinterface::SpinEditDataRefreshTimeChange() {
    if (const DataSourceProps* p = Props()) p->setDataRefreshTime(RefreshSecondsToMs(SpinEditDataRefreshTime->Value()));
}

void TFrameinterface::BitBtnseltxtfileClick() {
    if (const auto path = ChooseOpenFile(this, TextFileFilter, TextFileExt)) EditTextFileName->setText(*path);
}

void TFrameinterface::BitBtnselexefileClick() {
    if (const auto path = ChooseOpenFile(this, ExeFileFilter, ExeFileExt)) EditExeFileName->setText(*path);
}

}  // namespace zl
