// What play takes from the schedules: which plans are on, when the sign is dark.
#include <QLabel>
#include <algorithm>

#include "app/mainwindow.h"
#include "core/codepage.h"
#include "core/home.h"
#include "core/playlog.h"
#include "core/props/color.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"

namespace zl {

namespace {

// A wall clock that moves this far against the monotonic one has been set (a time sync).
constexpr std::int64_t kWallJumpMs = 1500;

}  // namespace

void TSYS_Frmzorled::LoadSchedule() {
    Schedule = LoadPlaySchedule(PageDefDir(), SelectedPlans, [this](const std::string& problem) {
        // Read again at every start and selection; a line is reported only the first time.
        if (std::find(reportedScheduleProblems_.begin(), reportedScheduleProblems_.end(), problem) !=
            reportedScheduleProblems_.end())
            return;
        reportedScheduleProblems_.push_back(problem);
        ReportError(QString::fromStdString(GbkToUtf8(problem)));
    });
    const UtcMs now = UtcNow();
    wallOffset_ = now - MonotonicNow();
    ScheduleNow = Schedule.StateAt(now, Awake);
    ScheduleChange = Schedule.Active() ? Schedule.NextChange(now) : std::nullopt;
}

bool TSYS_Frmzorled::PlanOn(const std::string& plan) const {
    if (!Schedule.Active()) return true;
    return std::find(ScheduleNow.plans.begin(), ScheduleNow.plans.end(), plan) != ScheduleNow.plans.end();
}

bool TSYS_Frmzorled::ScheduleMoved(bool force) {
    const UtcMs now = UtcNow();
    const std::int64_t offset = now - MonotonicNow();
    const bool jumped = std::abs(offset - wallOffset_) > kWallJumpMs;
    wallOffset_ = offset;
    if (!force && !jumped && (!ScheduleChange || now < *ScheduleChange)) return false;
    ScheduleState state = Schedule.StateAt(now, Awake);
    ScheduleChange = Schedule.NextChange(now);
    if (state == ScheduleNow) return false;
    ScheduleNow = std::move(state);
    PageList.clear();
    PagePlans.clear();
    for (const std::string& plan : SelectedPlans) {
        if (!PlanOn(plan)) continue;
        const auto file = FindFileCaseInsensitive(PlanFilePath(plan));
        if (!file) continue;
        try {
            PlanLines = ReadTextList(*file);
        } catch (const std::exception& e) {
            // A plan file gone unreadable since the start plays nothing; the rest plays on.
            ReportError(QString::fromStdString(e.what()));
            continue;
        }
        PageList.insert(PageList.end(), PlanLines.begin(), PlanLines.end());
        PagePlans.insert(PagePlans.end(), PlanLines.size(), plan);
    }
    return true;
}

bool TSYS_Frmzorled::FollowSchedule(bool force) {
    if (!Playing || !Schedule.Active() || !ScheduleMoved(force)) return false;
    PageIndex = -1;
    if (Page) Page->StopWidgets();
    PlayNextPage();
    ShowPlayStatus();
    return true;
}

void TSYS_Frmzorled::SetAwake(bool awake) {
    if (Awake == awake) return;
    Awake = awake;
    FollowSchedule(true);
}

void TSYS_Frmzorled::GoDark() {
    TimerPlay->SetEnabled(true);
    if (Dark) return;
    // The place and size of the last page shown; at start those of the selection's first page.
    std::optional<std::filesystem::path> shape =
        Page && !PlayedFile.empty() ? std::optional(PlayedFile) : std::nullopt;
    for (size_t i = 0; !shape && i < SelectionPages.size(); ++i) {
        const auto file = FindFileCaseInsensitive(PageFilePath(SelectionPages[i]));
        std::error_code ec;
        if (file && !std::filesystem::is_directory(*file, ec)) shape = *file;
    }
    if (Page) Page->StopWidgets();
    if (shape) {
        ShowNextPage(*shape, true);
    }
    Dark = true;
    WaitingForPages = false;
    if (DarkShown) DarkShown(ScheduleChange);
    ShowPlayStatus();
}

QString TSYS_Frmzorled::ScheduleNote() const {
    if (!Schedule.Active()) return {};
    QString note;
    if (ScheduleNow.dark) {
        note = QStringLiteral("dark");
    } else {
        QStringList plans;
        for (const std::string& plan : ScheduleNow.plans) plans << QString::fromStdString(GbkToUtf8(plan));
        note = QString::fromUtf8("时段：") + plans.join(',');
    }
    if (ScheduleChange) {
        // Today's end as its time only: the status line of a small window has little room.
        std::string end = LocalSecond(LocalFromUtc(*ScheduleChange)).substr(0, 16);
        if (end.compare(0, 10, LocalDay(LocalFromUtc(UtcNow()))) == 0) end.erase(0, 11);
        note += QString::fromUtf8(" 至 ") + QString::fromStdString(end);
    }
    return note;
}

}  // namespace zl
