#include "editors/formplanedit.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

#include "core/codepage.h"
#include "core/home.h"
#include "editors/frameaplan.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kPlanWidth = 537;
constexpr int kScheduleWidth = 300;
constexpr int kClientWidth = kPlanWidth + kScheduleWidth;
constexpr int kClientHeight = 467;
constexpr int kListWidth = 265;
constexpr int kButtonStrip = 63;

std::string Stored(const QListWidgetItem* item) { return item->data(Qt::UserRole).toByteArray().toStdString(); }

}  // namespace

TFormPlanEdit::TFormPlanEdit(QWidget* parent) : QDialog(parent) {
    setObjectName("FormPlanEdit");
    setWindowTitle(U("播放计划定义"));
    setFixedSize(kClientWidth, kClientHeight);

    BitBtnadd = new QPushButton(U("新增"), this);
    BitBtnadd->setObjectName("BitBtnadd");
    BitBtnadd->setGeometry(8, 8, 75, 25);
    BitBtndelete = new QPushButton(U("删除"), this);
    BitBtndelete->setObjectName("BitBtndelete");
    BitBtndelete->setGeometry(91, 8, 75, 25);
    CheckListBoxPlayList = new QListWidget(this);
    CheckListBoxPlayList->setObjectName("CheckListBoxPlayList");
    CheckListBoxPlayList->setGeometry(8, 40, kListWidth - 16, kClientHeight - kButtonStrip - 48);
    SetPlanListLook(*CheckListBoxPlayList);
    FrameAplan1 = new TFrameAplan(this);
    FrameAplan1->setGeometry(kListWidth, 0, kPlanWidth - kListWidth, kClientHeight - kButtonStrip);
    BitBtnok = new QPushButton(U("确定"), this);
    BitBtnok->setObjectName("BitBtnok");
    BitBtnok->setGeometry(150, kClientHeight - kButtonStrip + 19, 90, 27);
    BitBtncancle = new QPushButton(U("放弃"), this);
    BitBtncancle->setObjectName("BitBtncancle");
    BitBtncancle->setGeometry(297, kClientHeight - kButtonStrip + 19, 90, 27);
    FramePlanSchedule1 = new TFramePlanSchedule(this);
    FramePlanSchedule1->setGeometry(kPlanWidth, 0, kScheduleWidth - 8, kClientHeight - kButtonStrip - 8);
    BitBtndark = new QPushButton(U("黑屏时段"), this);
    BitBtndark->setObjectName("BitBtndark");
    BitBtndark->setGeometry(kPlanWidth + 4, kClientHeight - kButtonStrip + 19, 90, 27);
    for (QPushButton* b : {BitBtnadd, BitBtndelete, BitBtnok, BitBtncancle, BitBtndark}) b->setAutoDefault(false);
    // Enter means 确定 wherever the focus is, never the plan list's 新增 beside it.
    for (QPushButton* b : FrameAplan1->findChildren<QPushButton*>()) b->setAutoDefault(false);
    BitBtnok->setDefault(true);
    connect(BitBtndark, &QPushButton::clicked, this, GuardedHandler([this] { BitBtndarkClick(); }));
    connect(FramePlanSchedule1, &TFramePlanSchedule::Changed, this, [this] {
        if (const int row = SelectedRow(); row >= 0) MarkScheduled(row);
    });

    connect(BitBtnadd, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnaddClick(); }));
    connect(BitBtndelete, &QPushButton::clicked, this, GuardedHandler([this] { BitBtndeleteClick(); }));
    connect(BitBtnok, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnokClick(); }));
    connect(BitBtncancle, &QPushButton::clicked, this, GuardedHandler([this] { BitBtncancleClick(); }));
    connect(CheckListBoxPlayList, &QListWidget::itemSelectionChanged, this, [this] {
        if (!quiet_) Guarded([this] { CheckListBoxPlayListClick(); });
    });

    FormCreate();
}

TFormPlanEdit::~TFormPlanEdit() { FormDestroy(); }

void TFormPlanEdit::FormCreate() {
    PlayListFileName = PlayListPath();
    SelectListFileName = SelectListPath();
    std::error_code ec;
    StringList plans;
    if (const auto file = ResolveCase(PlayListFileName); std::filesystem::exists(file, ec)) plans = ReadTextList(file);
    if (const auto file = ResolveCase(SelectListFileName); std::filesystem::exists(file, ec))
        SelectList = ReadTextList(file);
    quiet_ = true;
    for (const std::string& plan : plans) AppendPlan(plan, IsSelected(plan));
    for (int row = 0; row < CheckListBoxPlayList->count(); ++row) MarkScheduled(row);
    CheckListBoxPlayList->setCurrentRow(-1);
    CheckListBoxPlayList->clearSelection();
    quiet_ = false;
}

void TFormPlanEdit::FormDestroy() {
    // Each file is written on its own: one that cannot be written is reported and does not
    // cost the others their edits.
    Guarded([this] { FrameAplan1->SavePlan(); });
    Guarded([this] { WriteTextList(PlayListFileName, PlanNames()); });
    for (const auto& [name, lines] : schedules_)
        if (lines.changed) Guarded([&lines] { lines.Save(); });
    if (darkHours_ && darkHours_->changed) Guarded([this] { darkHours_->Save(); });
    Guarded([this] {
        SelectList = CheckedPlans();
        WriteTextList(SelectListFileName, SelectList);
    });
}

void TFormPlanEdit::AppendPlan(const std::string& name, bool checked) {
    auto* item = new QListWidgetItem(Q(name), CheckListBoxPlayList);
    item->setData(Qt::UserRole, QByteArray::fromStdString(name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

StringList TFormPlanEdit::PlanNames() const {
    StringList names;
    for (int i = 0; i < CheckListBoxPlayList->count(); ++i) names.push_back(Stored(CheckListBoxPlayList->item(i)));
    return names;
}

StringList TFormPlanEdit::CheckedPlans() const {
    StringList names;
    for (int i = 0; i < CheckListBoxPlayList->count(); ++i)
        if (CheckListBoxPlayList->item(i)->checkState() == Qt::Checked)
            names.push_back(Stored(CheckListBoxPlayList->item(i)));
    return names;
}

bool TFormPlanEdit::PlanExists(const std::string& name) const {
    for (int i = 0; i < CheckListBoxPlayList->count(); ++i)
        if (Stored(CheckListBoxPlayList->item(i)) == name) return true;
    return false;
}

bool TFormPlanEdit::IsSelected(const std::string& name) const {
    for (const std::string& s : SelectList)
        if (s == name) return true;
    return false;
}

int TFormPlanEdit::SelectedRow() const {
    const QList<QListWidgetItem*> selected = CheckListBoxPlayList->selectedItems();
    return selected.isEmpty() ? -1 : CheckListBoxPlayList->row(selected.first());
}

void TFormPlanEdit::CheckListBoxPlayListClick() {
    if (!FrameAplan1->PlanFileName.empty()) FrameAplan1->SavePlan();
    if (const int row = SelectedRow(); row >= 0) {
        const std::string name = Stored(CheckListBoxPlayList->item(row));
        FrameAplan1->LoadPlan(name);
        FramePlanSchedule1->Show(&PlanSchedule(name), U("时段: ") + Q(name));
    }
}

ScheduleLines& TFormPlanEdit::PlanSchedule(const std::string& name) {
    auto found = schedules_.find(name);
    if (found == schedules_.end())
        found = schedules_.emplace(name, ScheduleLines::Load(ScheduleFilePath(PageDefDir(), name))).first;
    return found->second;
}

void TFormPlanEdit::MarkScheduled(int row) {
    QListWidgetItem* item = CheckListBoxPlayList->item(row);
    const std::string name = Stored(item);
    const bool scheduled = PlanSchedule(name).HasWindows();
    item->setText(scheduled ? Q(name) + U("  [时段]") : Q(name));
    item->setToolTip(scheduled ? U("按时段播放") : U("全天播放"));
}

void TFormPlanEdit::BitBtndarkClick() {
    if (!darkHours_) darkHours_ = ScheduleLines::Load(DarkHoursPath(PageDefDir()));
    quiet_ = true;
    CheckListBoxPlayList->clearSelection();
    quiet_ = false;
    FramePlanSchedule1->Show(&*darkHours_, U("黑屏时段 (此时段内屏幕全黑):"));
}

std::optional<std::string> TFormPlanEdit::AskPlanName() {
    std::string name = Utf8ToGbk("方案1");
    for (;;) {
        // An empty field leaves the name as it was, so a plan name is never empty.
        if (MsgDialog1.InputQuery(Utf8ToGbk("请输入新的方案名称:"), Utf8ToGbk("名称"), name) != kResultOk)
            return std::nullopt;
        if (!PlanExists(name)) return name;
    }
}

void TFormPlanEdit::BitBtnaddClick() {
    const std::optional<std::string> name = AskPlanName();
    if (!name) return;
    quiet_ = true;
    AppendPlan(*name, false);
    CheckListBoxPlayList->setCurrentRow(CheckListBoxPlayList->count() - 1);
    quiet_ = false;
    CheckListBoxPlayListClick();
}

void TFormPlanEdit::BitBtndeleteClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    QMessageBox box(QMessageBox::Question, U("删除当前定义的方案?"), U("请确定"), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    if (box.exec() != QMessageBox::Yes) return;
    // The file's own pages come back first, so unsaved edits of this plan go with it.
    FrameAplan1->LoadPlan(Stored(CheckListBoxPlayList->item(row)));
    FrameAplan1->DeletePlanFile();
    {
        // A deleted plan takes its schedule with it; a new plan of the same name starts without one.
        ScheduleLines& lines = PlanSchedule(Stored(CheckListBoxPlayList->item(row)));
        lines.lines.clear();
        lines.changed = true;
    }
    FramePlanSchedule1->Show(nullptr, U("时段:"));
    quiet_ = true;
    delete CheckListBoxPlayList->takeItem(row);
    CheckListBoxPlayList->setCurrentRow(-1);
    CheckListBoxPlayList->clearSelection();
    quiet_ = false;
    FrameAplan1->PlanFileName.clear();
    FrameAplan1->PanelPlanname->setText(U("方案:"));
}

void TFormPlanEdit::BitBtnokClick() {
    Confirmed = true;
    accept();
}

void TFormPlanEdit::BitBtncancleClick() {
    Confirmed = false;
    reject();
}

bool EditPlayPlan() {
    auto form = std::make_unique<TFormPlanEdit>();
    form->exec();
    const bool confirmed = form->Confirmed;
    form.reset();
    return confirmed;
}

}  // namespace zl
