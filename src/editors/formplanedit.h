#pragma once
#include <QDialog>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "core/textlist.h"
#include "editors/planschedule.h"
#include "msgdialog/msgdialog.h"

class QListWidget;
class QPushButton;

namespace zl {

class TFrameAplan;

// The play plan editor: the play list with its check marks on the left, the page list of the
// plan on view on the right. All three kinds of list file are written when it is destroyed.
class TFormPlanEdit : public QDialog {
    Q_OBJECT
public:
    explicit TFormPlanEdit(QWidget* parent = nullptr);
    ~TFormPlanEdit() override;

    std::filesystem::path PlayListFileName;
    std::filesystem::path SelectListFileName;
    StringList SelectList;
    bool Confirmed = false;

    TMsgDialog MsgDialog1;
    QPushButton* BitBtnadd;
    QPushButton* BitBtndelete;
    QListWidget* CheckListBoxPlayList;
    TFrameAplan* FrameAplan1;
    QPushButton* BitBtnok;
    QPushButton* BitBtncancle;
    TFramePlanSchedule* FramePlanSchedule1;
    QPushButton* BitBtndark;

    // The plan names of the check list, as stored (GBK), and the checked ones.
    StringList PlanNames() const;
    StringList CheckedPlans() const;

    bool PlanExists(const std::string& name) const;
    bool IsSelected(const std::string& name) const;
    // The name of a new plan, or nothing when the operator gave up.
    std::optional<std::string> AskPlanName();

    void CheckListBoxPlayListClick();
    void BitBtnaddClick();
    void BitBtndeleteClick();
    void BitBtnokClick();
    void BitBtncancleClick();
    void BitBtndarkClick();

private:
    void FormCreate();
    void FormDestroy();
    void AppendPlan(const std::string& name, bool checked);
    int SelectedRow() const;
    // The schedule of a plan as edited so far, read from its file the first time.
    ScheduleLines& PlanSchedule(const std::string& name);
    void MarkScheduled(int row);

    std::map<std::string, ScheduleLines> schedules_;
    std::optional<ScheduleLines> darkHours_;

    // Set while the check list is changed by the editor itself, which is not a selection.
    bool quiet_ = false;
};

// Shows the plan editor modally; true only when it was closed with "确定". The list files are
// written however it was closed.
bool EditPlayPlan();

}  // namespace zl
