#pragma once
#include <QDialog>
#include <QWidget>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "core/schedule.h"
#include "core/textlist.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace zl {

// One window as the operator sets it: the days, from and to, the dates it may start on and
// its priority.
class TScheduleWindowDialog : public QDialog {
    Q_OBJECT
public:
    explicit TScheduleWindowDialog(const ScheduleWindow& window, QWidget* parent = nullptr);
    ScheduleWindow Window() const;

    QCheckBox* Days[7];
    QTimeEdit* TimeFrom;
    QTimeEdit* TimeTo;
    QCheckBox* CheckDates;
    QDateEdit* DateFrom;
    QDateEdit* DateTo;
    QSpinBox* SpinPriority;
    QPushButton* BitBtnok;
    QPushButton* BitBtncancle;

private:
    void Accept();
};

// The lines of one schedule file as an editor holds them: windows it can show and lines it
// cannot, the latter kept as they are.
struct ScheduleLines {
    std::filesystem::path file;
    StringList lines;
    bool changed = false;
    bool HasWindows() const;
    static ScheduleLines Load(const std::filesystem::path& file);
    // Written atomically; with no window and no unreadable line left the file goes.
    void Save() const;
};

// The 时段 list of one schedule file with its buttons.
class TFramePlanSchedule : public QWidget {
    Q_OBJECT
public:
    explicit TFramePlanSchedule(QWidget* parent = nullptr);

    QLabel* LabelTitle;
    QListWidget* ListWindows;
    QPushButton* BitBtnadd;
    QPushButton* BitBtnedit;
    QPushButton* BitBtndelete;

    // Shows `lines` (nullptr: nothing on view) under `title`; edits go to `lines`.
    void Show(ScheduleLines* lines, const QString& title);
    void BitBtnaddClick();
    void BitBtneditClick();
    void BitBtndeleteClick();

signals:
    void Changed();

private:
    void Refill();
    int LineOfRow(int row) const;
    ScheduleLines* lines_ = nullptr;
};

// A window's days as the list shows them: "一至五", "每天", "六、日".
QString DaysText(std::uint8_t days);
QString WindowText(const ScheduleWindow& window);

}  // namespace zl
