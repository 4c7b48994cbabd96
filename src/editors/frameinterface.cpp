#include "editors/frameinterface.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>
#include <climits>

#include "editors/spinedit.h"
#include "qtbase/qtstrings.h"
#include "widgets/zorscrolltext.h"
#include "widgets/zorzmd.h"

namespace zl {

namespace {

template <class W>
DataSourceProps PropsOf(W& w) {
    return {[&w] { return w.datainterface(); },    [&w](int v) { w.Setdatainterface(v); },
            [&w] { return w.TextFileName(); },     [&w](const std::string& v) { w.SetTextFileName(v); },
            [&w] { return w.ExeFileName(); },      [&w](const std::string& v) { w.SetExeFileName(v); },
            [&w] { return w.DataRefreshTime(); },  [&w](int v) { w.SetDataRefreshTime(v); }};
}

}  // namespace

std::optional<DataSourceProps> DataSourceOf(Control& widget) {
    if (auto* marquee = dynamic_cast<Tzorzmd*>(&widget)) return PropsOf(*marquee);
    if (auto* board = dynamic_cast<TzorScrollText*>(&widget)) return PropsOf(*board);
    return std::nullopt;
}

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
    RadioGroupItems = new QButtonGroup(this);
    int y = 20;
    for (const char* item : {"当前定义内容", "文本文件", "数据接口"}) {
        auto* radio = new QRadioButton(U(item), RadioGroupdatainterface);
        radio->setFont(CaptionFont());
        radio->setGeometry(10, y, 180, 20);
        RadioGroupItems->addButton(radio, RadioGroupItems->buttons().size());
        y += 21;
    }
    RadioGroupItems->button(0)->setChecked(true);
    textFileCaption_ = NewCaption(this, "数据来源文本文件:", {});
    EditTextFileName = new QLineEdit(this);
    EditTextFileName->setObjectName("EditTextFileName");
    BitBtnseltxtfile = new QPushButton(U("选择"), this);
    BitBtnseltxtfile->setObjectName("BitBtnseltxtfile");
    exeFileCaption_ = NewCaption(this, "数据来源接口程序:", {});
    EditExeFileName = new QLineEdit(this);
    EditExeFileName->setObjectName("EditExeFileName");
    BitBtnselexefile = new QPushButton(U("选择"), this);
    BitBtnselexefile->setObjectName("BitBtnselexefile");
    for (QPushButton* b : {BitBtnseltxtfile, BitBtnselexefile}) b->setAutoDefault(false);
    everyCaption_ = NewCaption(this, "每隔", {});
    SpinEditDataRefreshTime = new TSpinEdit(this);
    SpinEditDataRefreshTime->setObjectName("SpinEditDataRefreshTime");
    secondsCaption_ = NewCaption(this, "秒更新数据", {});
    resize(218, 212);

    connect(RadioGroupItems, &QButtonGroup::idClicked, this, GuardedHandler([this] { RadioGroupdatainterfaceClick(); }));
    connect(EditTextFileName, &QLineEdit::textChanged, this, GuardedHandler([this] { EditTextFileNameChange(); }));
    connect(EditExeFileName, &QLineEdit::textChanged, this, GuardedHandler([this] { EditExeFileNameChange(); }));
    connect(SpinEditDataRefreshTime, &TSpinEdit::Changed, this,
            GuardedHandler([this] { SpinEditDataRefreshTimeChange(); }));
    connect(BitBtnseltxtfile, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnseltxtfileClick(); }));
    connect(BitBtnselexefile, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnselexefileClick(); }));
}

// The dialogs give the frame different widths; the path fields take what is left.
void TFrameinterface::resizeEvent(QResizeEvent*) {
    const int w = width();
    RadioGroupdatainterface->setGeometry(0, 0, w, 84);
    textFileCaption_->setGeometry(0, 90, w, 18);
    EditTextFileName->setGeometry(0, 110, w - 54, 22);
    BitBtnseltxtfile->setGeometry(w - 50, 109, 50, 24);
    exeFileCaption_->setGeometry(0, 138, w, 18);
    EditExeFileName->setGeometry(0, 158, w - 54, 22);
    BitBtnselexefile->setGeometry(w - 50, 157, 50, 24);
    everyCaption_->setGeometry(0, 191, 32, 18);
    SpinEditDataRefreshTime->setGeometry(34, 188, 76, 22);
    secondsCaption_->setGeometry(114, 191, w - 114, 18);
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
