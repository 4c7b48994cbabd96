#include "editors/frameaplan.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "core/codepage.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 15};
    }
};

}  // namespace

void SetPlanListLook(QListWidget& list) {
    QFont font(U("宋体"));
    font.setPixelSize(15);
    list.setFont(font);
    list.setItemDelegate(new FixedRowDelegate(&list));
    list.setSortingEnabled(false);
}

TFrameAplan::TFrameAplan(QWidget* parent) : QFrame(parent) {
    setObjectName("FrameAplan1");
    BitBtnadd = new QPushButton(U("新增"), this);
    BitBtnadd->setObjectName("BitBtnadd");
    BitBtnadd->setGeometry(8, 8, 75, 25);
    BitBtndelete = new QPushButton(U("删除"), this);
    BitBtndelete->setObjectName("BitBtndelete");
    BitBtndelete->setGeometry(91, 8, 75, 25);
    ListBoxAPlan = new QListWidget(this);
    ListBoxAPlan->setObjectName("ListBoxAPlan");
    ListBoxAPlan->setGeometry(8, 40, 256, 330);
    SetPlanListLook(*ListBoxAPlan);
    PanelPlanname = new QLabel(U("方案:"), this);
    PanelPlanname->setObjectName("PanelPlanname");
    PanelPlanname->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelPlanname->setGeometry(8, 375, 256, 25);
    connect(BitBtnadd, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnaddClick(); }));
    connect(BitBtndelete, &QPushButton::clicked, this, GuardedHandler([this] { BitBtndeleteClick(); }));
}

void TFrameAplan::LoadPlan(const std::string& name) {
    // Written under its exact name; a file of another letter case is only read when the exact
    // one is missing (files from Windows).
    PlanFileName = PlanFilePath(name);
    PanelPlanname->setText(U("方案:") + Q(name));
    std::error_code ec;
    if (const auto file = ResolveCase(PlanFileName); std::filesystem::exists(file, ec)) SetPages(ReadTextList(file));
}

void TFrameAplan::SavePlan() {
    if (PlanFileName.empty()) return;
    WriteTextList(PlanFileName, Pages());
}

void TFrameAplan::DeletePlanFile() {
    if (PlanFileName.empty()) return;
    std::error_code ec;
    std::filesystem::remove(PlanFileName, ec);
}

StringList TFrameAplan::Pages() const {
    StringList pages;
    for (int i = 0; i < ListBoxAPlan->count(); ++i)
        pages.push_back(ListBoxAPlan->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    return pages;
}

void TFrameAplan::SetPages(const StringList& pages) {
    ListBoxAPlan->clear();
    for (const std::string& page : pages) AddPage(page);
}

void TFrameAplan::AddPage(const std::string& page) {
    // The stored bytes travel with the item, so a name that does not convert cleanly is
    // written back exactly as it was read.
    auto* item = new QListWidgetItem(Q(page), ListBoxAPlan);
    item->setData(Qt::UserRole, QByteArray::fromStdString(page));
}

void TFrameAplan::BitBtnaddClick() {
    QFileDialog dialog(window(), QString(), QString(), U("LED页面定义文件 (*.DFM);;所有文件 (*)"));
    dialog.setObjectName("OpenDialog1");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("LED");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    // Pages are always looked up by name under pagedef, so the folder is dropped.
    AddPage(Gbk(QFileInfo(dialog.selectedFiles().first()).completeBaseName()));
}

void TFrameAplan::BitBtndeleteClick() {
    const QList<QListWidgetItem*> selected = ListBoxAPlan->selectedItems();
    if (selected.isEmpty()) return;
    delete ListBoxAPlan->takeItem(ListBoxAPlan->row(selected.first()));
}

}  // namespace zl
