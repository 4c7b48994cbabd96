#pragma once
#include <QFrame>
#include <filesystem>
#include <string>

#include "core/textlist.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace zl {

// The page list of one plan, embedded in the plan editor.
class TFrameAplan : public QFrame {
    Q_OBJECT
public:
    explicit TFrameAplan(QWidget* parent = nullptr);

    // The plan file on view; empty while no plan is on view, and then nothing is written.
    std::filesystem::path PlanFileName;

    QPushButton* BitBtnadd;
    QPushButton* BitBtndelete;
    QListWidget* ListBoxAPlan;
    QLabel* PanelPlanname;

    // Puts the plan on view; its file, when there is one, replaces the page list, otherwise the
    // pages on view stay and become this plan's when it is saved.
    void LoadPlan(const std::string& name);
    void SavePlan();
    void DeletePlanFile();

    // The page names on view, as stored (GBK).
    StringList Pages() const;
    void SetPages(const StringList& pages);
    void AddPage(const std::string& page);

    void BitBtnaddClick();
    void BitBtndeleteClick();
};

// A list box font and row height shared by both lists of the plan editor.
void SetPlanListLook(QListWidget& list);

}  // namespace zl
