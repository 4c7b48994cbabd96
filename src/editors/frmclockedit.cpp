#include "editors/frmclockedit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include "core/codepage.h"
#include "core/datetimeformat.h"
#include "core/error.h"
#include "editors/framenamecolor.h"
#include "editors/framerange.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

constexpr int kClientWidth = 292;
constexpr int kClientHeight = 380;

// The start date as the clock reads it, in the short date format.
QDate StartDate(const std::string& text) {
    const auto date = TryStrToDate(text);
    if (!date) throw Error(Format("'%s' is not a valid date", GbkToUtf8(text).c_str()));
    const DateTimeFields fields = DecodeLocalMs(*date);
    return QDate(fields.year, fields.month, fields.day);
}

}  // namespace

TFrmClockEdit::TFrmClockEdit() : TPropertyDialog("FrmClockEdit", "时钟属性编辑器", kClientWidth, kClientHeight) {
    Framenamecolor1 = new TFramenamecolor(this);
    Framenamecolor1->setGeometry(8, 32, 276, 54);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 94, 276, 76);

    RadioGroupdays = new QGroupBox(U("显示内容:"), this);
    RadioGroupdays->setObjectName("RadioGroupdays");
    RadioGroupdays->setFont(CaptionFont(13));
    RadioGroupdays->setGeometry(8, 176, 276, 46);
    RadioGroupdaysItems = new QButtonGroup(this);
    int x = 10;
    for (const char* item : {"时钟", "安全天数", "星期"}) {
        auto* radio = new QRadioButton(U(item), RadioGroupdays);
        radio->setFont(CaptionFont(13));
        radio->setGeometry(x, 20, 86, 20);
        RadioGroupdaysItems->addButton(radio, RadioGroupdaysItems->buttons().size());
        x += 88;
    }

    NewCaption(this, "显示格式:", {8, 235, 76, 18});
    EditDATEFORMAT = new QLineEdit(this);
    EditDATEFORMAT->setObjectName("EditDATEFORMAT");
    EditDATEFORMAT->setGeometry(84, 232, 200, 22);
    NewCaption(this, "安全天数开始日期", {8, 267, 126, 18});
    DateTimePicker1 = new QDateEdit(this);
    DateTimePicker1->setObjectName("DateTimePicker1");
    DateTimePicker1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setMinimumDate(QDate(100, 1, 1));
    DateTimePicker1->setGeometry(138, 264, 146, 22);
    CheckBoxtransparent = new QCheckBox(U("是否透明"), this);
    CheckBoxtransparent->setObjectName("CheckBoxtransparent");
    CheckBoxtransparent->setFont(CaptionFont());
    CheckBoxtransparent->setGeometry(8, 298, 200, 20);

    connect(RadioGroupdaysItems, &QButtonGroup::idClicked, this, GuardedHandler([this] { RadioGroupdaysClick(); }));
    connect(EditDATEFORMAT, &QLineEdit::textChanged, this, GuardedHandler([this] { EditDATEFORMATChange(); }));
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, GuardedHandler([this] { DateTimePicker1Change(); }));
    connect(CheckBoxtransparent, &QCheckBox::clicked, this, GuardedHandler([this] { CheckBoxtransparentClick(); }));
}

void TFrmClockEdit::BindControl(Tzorclock& clock) {
    target_.Set(&clock);
    Framenamecolor1->BindControl(clock);
    FrameRange1->BindControl(clock);
    ShowTarget(clock);
    const QSignalBlocker a(DateTimePicker1), b(EditDATEFORMAT);
    DateTimePicker1->setDate(StartDate(clock.startdate));
    if (QAbstractButton* item = RadioGroupdaysItems->button(clock.DisplayType)) item->setChecked(true);
    DateTimePicker1->setEnabled(clock.DisplayType == DTdays);
    CheckBoxtransparent->setChecked(clock.ParentColor());
    EditDATEFORMAT->setText(Q(clock.DATEFORMAT));
}

void TFrmClockEdit::RadioGroupdaysClick() {
    Tzorclock* clock = Target();
    if (!clock) return;
    const int chosen = RadioGroupdaysItems->checkedId();
    clock->DisplayType = chosen;
    switch (chosen) {
        case DTclock:
            clock->DATEFORMAT = Utf8ToGbk("yyyy年MM月dd日 hh:mm:ss");
            EditDATEFORMAT->setText(Q(clock->DATEFORMAT));
            DateTimePicker1->setEnabled(false);
            break;
        case DTdays:
            clock->DATEFORMAT = Utf8ToGbk("安全生产:");
            EditDATEFORMAT->setText(Q(clock->DATEFORMAT));
            DateTimePicker1->setEnabled(true);
            break;
        case DTweek:
            DateTimePicker1->setEnabled(false);
            clock->DATEFORMAT.clear();
            EditDATEFORMAT->clear();
            break;
    }
    clock->UpdateDisplay();
}

void TFrmClockEdit::EditDATEFORMATChange() {
    if (Tzorclock* clock = Target()) {
        clock->DATEFORMAT = Gbk(EditDATEFORMAT->text());
        clock->UpdateDisplay();
    }
}

void TFrmClockEdit::DateTimePicker1Change() {
    if (Tzorclock* clock = Target()) {
        const QDate d = DateTimePicker1->date();
        clock->startdate = DateToStr(MakeLocalMs(d.year(), d.month(), d.day()));
        clock->UpdateDisplay();
    }
}

void TFrmClockEdit::CheckBoxtransparentClick() {
    if (Tzorclock* clock = Target()) clock->SetParentColor(CheckBoxtransparent->isChecked());
}

void ShowClockEdit(Tzorclock& clock) {
    TFrmClockEdit dialog;
    dialog.BindControl(clock);
    dialog.exec();
}

}  // namespace zl
