#include "editors/planschedule.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "core/atomicfile.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
const char* const kDayNames[7] = {"一", "二", "三", "四", "五", "六", "日"};

constexpr std::int64_t kNoFirstDay = INT64_MIN;
constexpr std::int64_t kNoLastDay = INT64_MAX;

QDate DateOfDay(std::int64_t day) { return QDate(1970, 1, 1).addDays(day); }
std::int64_t DayOfDate(const QDate& date) { return QDate(1970, 1, 1).daysTo(date); }
QString Hm(int minutes) {
    return QString::asprintf("%02d:%02d", minutes / 60, minutes % 60);
}

bool IsWindow(const std::string& line) {
    std::string why;
    return !IsScheduleComment(line) && ParseScheduleLine(line, why).has_value();
}

}  // namespace

QString DaysText(std::uint8_t days) {
    if ((days & 0x7F) == 0x7F) return U("每天");
    // Runs of three or more read as a span, as people write them.
    QStringList parts;
    for (int d = 0; d < 7;) {
        if (!(days & (1u << d))) { ++d; continue; }
        int e = d;
        while (e + 1 < 7 && (days & (1u << (e + 1)))) ++e;
        if (e - d >= 2) parts << U(kDayNames[d]) + U("至") + U(kDayNames[e]);
        else for (int i = d; i <= e; ++i) parts << U(kDayNames[i]);
        d = e + 1;
    }
    return U("周") + parts.join(U("、"));
}

QString WindowText(const ScheduleWindow& w) {
    QString text = DaysText(w.days) + "  " + Hm(w.start) + "-" + (w.end == 1440 ? QString("24:00") : Hm(w.end));
    if (w.end <= w.start) text += U("(次日)");
    if (w.firstDay != kNoFirstDay || w.lastDay != kNoLastDay)
        text += "  " + DateOfDay(w.firstDay).toString("yyyy-MM-dd") + ".." + DateOfDay(w.lastDay).toString("yyyy-MM-dd");
    text += U("  优先级 ") + QString::number(w.priority);
    return text;
}

TScheduleWindowDialog::TScheduleWindowDialog(const ScheduleWindow& w, QWidget* parent) : QDialog(parent) {
    setObjectName("ScheduleWindowDialog");
    setWindowTitle(U("时段"));
    auto* grid = new QGridLayout(this);
    auto* days = new QHBoxLayout;
    for (int d = 0; d < 7; ++d) {
        Days[d] = new QCheckBox(U(kDayNames[d]), this);
        Days[d]->setChecked(w.days & (1u << d));
        days->addWidget(Days[d]);
    }
    grid->addWidget(new QLabel(U("星期:"), this), 0, 0);
    grid->addLayout(days, 0, 1, 1, 3);
    TimeFrom = new QTimeEdit(QTime(w.start / 60 % 24, w.start % 60), this);
    TimeTo = new QTimeEdit(QTime(w.end / 60 % 24, w.end % 60), this);
    for (QTimeEdit* t : {TimeFrom, TimeTo}) t->setDisplayFormat("HH:mm");
    grid->addWidget(new QLabel(U("开始:"), this), 1, 0);
    grid->addWidget(TimeFrom, 1, 1);
    grid->addWidget(new QLabel(U("结束:"), this), 1, 2);
    grid->addWidget(TimeTo, 1, 3);
    grid->addWidget(new QLabel(U("结束不晚于开始时跨到次日;结束 00:00 即到午夜。"), this), 2, 0, 1, 4);
    CheckDates = new QCheckBox(U("仅在日期:"), this);
    const bool dated = w.firstDay != kNoFirstDay || w.lastDay != kNoLastDay;
    CheckDates->setChecked(dated);
    const QDate today = QDate::currentDate();
    DateFrom = new QDateEdit(dated ? DateOfDay(w.firstDay) : today, this);
    DateTo = new QDateEdit(dated ? DateOfDay(w.lastDay) : today, this);
    for (QDateEdit* d : {DateFrom, DateTo}) {
        d->setDisplayFormat("yyyy-MM-dd");
        d->setCalendarPopup(true);
        d->setEnabled(dated);
        connect(CheckDates, &QCheckBox::toggled, d, &QWidget::setEnabled);
    }
    grid->addWidget(CheckDates, 3, 0);
    grid->addWidget(DateFrom, 3, 1);
    grid->addWidget(new QLabel(U("至"), this), 3, 2);
    grid->addWidget(DateTo, 3, 3);
    SpinPriority = new QSpinBox(this);
    SpinPriority->setRange(0, 99);
    SpinPriority->setValue(w.priority);
    grid->addWidget(new QLabel(U("优先级:"), this), 4, 0);
    grid->addWidget(SpinPriority, 4, 1);
    auto* buttons = new QHBoxLayout;
    BitBtnok = new QPushButton(U("确定"), this);
    BitBtncancle = new QPushButton(U("放弃"), this);
    buttons->addStretch();
    buttons->addWidget(BitBtnok);
    buttons->addWidget(BitBtncancle);
    grid->addLayout(buttons, 5, 0, 1, 4);
    connect(BitBtnok, &QPushButton::clicked, this, GuardedHandler([this] { Accept(); }));
    connect(BitBtncancle, &QPushButton::clicked, this, &QDialog::reject);
}

ScheduleWindow TScheduleWindowDialog::Window() const {
    ScheduleWindow w;
    w.days = 0;
    for (int d = 0; d < 7; ++d)
        if (Days[d]->isChecked()) w.days |= std::uint8_t(1u << d);
    w.start = TimeFrom->time().hour() * 60 + TimeFrom->time().minute();
    w.end = TimeTo->time().hour() * 60 + TimeTo->time().minute();
    // 00:00 as an end is midnight; as the start too it is the whole day.
    if (w.end == 0) w.end = 1440;
    if (CheckDates->isChecked()) {
        w.firstDay = DayOfDate(DateFrom->date());
        w.lastDay = DayOfDate(DateTo->date());
    }
    w.priority = SpinPriority->value();
    return w;
}

void TScheduleWindowDialog::Accept() {
    const ScheduleWindow w = Window();
    QString problem;
    if (w.days == 0) problem = U("请至少选一天。");
    else if (w.firstDay > w.lastDay) problem = U("结束日期早于开始日期。");
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, U("时段"), problem);
        return;
    }
    accept();
}

bool ScheduleLines::HasWindows() const {
    for (const std::string& line : lines)
        if (IsWindow(line)) return true;
    return false;
}

ScheduleLines ScheduleLines::Load(const std::filesystem::path& file) {
    ScheduleLines out;
    out.file = file;
    std::error_code ec;
    if (const auto found = ResolveCase(file); std::filesystem::exists(found, ec)) out.lines = ReadTextList(found);
    return out;
}

void ScheduleLines::Save() const {
    bool keep = false;
    for (const std::string& line : lines)
        if (!IsScheduleComment(line)) keep = true;
    if (keep) {
        WriteTextList(file, lines);
        return;
    }
    std::error_code ec;
    std::filesystem::remove(ResolveCase(file), ec);
}

TFramePlanSchedule::TFramePlanSchedule(QWidget* parent) : QWidget(parent) {
    setObjectName("FramePlanSchedule");
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(4, 4, 4, 4);
    LabelTitle = new QLabel(U("时段:"), this);
    ListWindows = new QListWidget(this);
    ListWindows->setObjectName("ListWindows");
    auto* row = new QHBoxLayout;
    BitBtnadd = new QPushButton(U("增加"), this);
    BitBtnedit = new QPushButton(U("修改"), this);
    BitBtndelete = new QPushButton(U("删除"), this);
    for (QPushButton* b : {BitBtnadd, BitBtnedit, BitBtndelete}) {
        b->setAutoDefault(false);
        row->addWidget(b);
    }
    box->addWidget(LabelTitle);
    box->addWidget(ListWindows);
    box->addLayout(row);
    connect(BitBtnadd, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnaddClick(); }));
    connect(BitBtnedit, &QPushButton::clicked, this, GuardedHandler([this] { BitBtneditClick(); }));
    connect(BitBtndelete, &QPushButton::clicked, this, GuardedHandler([this] { BitBtndeleteClick(); }));
    connect(ListWindows, &QListWidget::itemDoubleClicked, this, GuardedHandler([this] { BitBtneditClick(); }));
    Show(nullptr, U("时段:"));
}

void TFramePlanSchedule::Show(ScheduleLines* lines, const QString& title) {
    lines_ = lines;
    LabelTitle->setText(title);
    for (QPushButton* b : {BitBtnadd, BitBtnedit, BitBtndelete}) b->setEnabled(lines != nullptr);
    Refill();
}

void TFramePlanSchedule::Refill() {
    ListWindows->clear();
    if (!lines_) return;
    for (int i = 0; i < int(lines_->lines.size()); ++i) {
        const std::string& line = lines_->lines[i];
        if (IsScheduleComment(line)) continue;
        std::string why;
        const auto w = ParseScheduleLine(line, why);
        auto* item = new QListWidgetItem(w ? WindowText(*w) : U("无法识别(保留原样): ") + Q(line), ListWindows);
        item->setData(Qt::UserRole, i);
        if (!w) {
            item->setForeground(Qt::darkRed);
            item->setToolTip(QString::fromStdString(why));
        }
    }
}

int TFramePlanSchedule::LineOfRow(int row) const {
    if (row < 0 || row >= ListWindows->count()) return -1;
    return ListWindows->item(row)->data(Qt::UserRole).toInt();
}

void TFramePlanSchedule::BitBtnaddClick() {
    if (!lines_) return;
    ScheduleWindow w;
    w.start = 8 * 60;
    w.end = 18 * 60;
    TScheduleWindowDialog dialog(w, this);
    if (dialog.exec() != QDialog::Accepted) return;
    lines_->lines.push_back(FormatScheduleWindow(dialog.Window()));
    lines_->changed = true;
    Refill();
    ListWindows->setCurrentRow(ListWindows->count() - 1);
    emit Changed();
}

void TFramePlanSchedule::BitBtneditClick() {
    const int row = ListWindows->currentRow();
    const int line = LineOfRow(row);
    if (!lines_ || line < 0) return;
    std::string why;
    const auto w = ParseScheduleLine(lines_->lines[line], why);
    if (!w) {
        QMessageBox::information(this, U("时段"), U("这一行无法识别,保留原样;可以删除它。"));
        return;
    }
    TScheduleWindowDialog dialog(*w, this);
    if (dialog.exec() != QDialog::Accepted) return;
    lines_->lines[line] = FormatScheduleWindow(dialog.Window());
    lines_->changed = true;
    Refill();
    ListWindows->setCurrentRow(row);
    emit Changed();
}

void TFramePlanSchedule::BitBtndeleteClick() {
    const int line = LineOfRow(ListWindows->currentRow());
    if (!lines_ || line < 0) return;
    lines_->lines.erase(lines_->lines.begin() + line);
    lines_->changed = true;
    Refill();
    emit Changed();
}

}  // namespace zl
