// The play command and the scheduler that shows the pages of the selected plans in turn.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/mainwindow.h"
#include "app/toolicons.h"
#include "core/codepage.h"
#include "core/home.h"
#include "editors/playfiles.h"
#include "output/ledoutputcontrol.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "qtbase/windowlayers.h"

namespace zl {
namespace {

// A page stays on screen at least this many seconds, whatever its file says.
constexpr int kMinDisplayTime = 4;

// Calls `then` once, at the first expose of a window that shows it on screen.
class ExposeWatch : public QObject {
public:
    ExposeWatch(QWindow& window, std::function<void()> then) : QObject(&window), then_(std::move(then)) {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed() && then_) {
            auto then = std::move(then_);
            then_ = nullptr;
            then();
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

void WhenExposed(QWindow& window, std::function<void()> then) { new ExposeWatch(window, std::move(then)); }

}  // namespace

void TSYS_Frmzorled::ActionPlayExecute() {
    // Play replaces the designed page.
    if (!Playing && !MayDiscardPage()) return;
    Playing = !Playing;
    if (Playing) {
        bool confirmed = false;
        try {
            confirmed = RunPlanEditor();
        } catch (...) {
            Playing = false;
            throw;
        }
        if (confirmed) {
            try {
                StartPlay();
            } catch (...) {
                // A start that fails leaves no half-started run behind: design mode, "播放",
                // the commands back and every initialised data module uninitialised.
                Guarded([this] { StopPlay(); });
                UpdateCommandStates();
                throw;
            }
            // Only now: the program's log hears of the run's start from this change.
            ShowPlayCommand(true);
        } else {
            Playing = false;
        }
    } else {
        StopPlay();
        ShowPlayCommand(false);
    }
    UpdateCommandStates();
}

void TSYS_Frmzorled::ActionPlaymodeExecute() { RunPlanEditor(); }

void TSYS_Frmzorled::StartPlay() {
    PlayedFile.clear();
    Dark = false;
    BuildPageList();
    StartPlugins();
    PageIndex = Resume ? std::max(ResumeIndex(*Resume) - 1, -1) : -1;
    Resume.reset();
    WaitingForPages = false;
    PageFromPlay = false;
    BrokenPages.clear();
    if (LedOutput) LedOutput->SetPlaying(true);
    PlayNextPage();
}

int TSYS_Frmzorled::ResumeIndex(const ResumePoint& point) const {
    const int entries = static_cast<int>(PageList.size());
    if (point.selection != SelectedPlans) return -1;
    if (point.plan.empty() && point.page.empty()) return point.pageIndex < entries ? point.pageIndex : -1;
    const auto there = [&](int i) { return PagePlans[i] == point.plan && PageList[i] == point.page; };
    if (point.pageIndex < entries && there(point.pageIndex)) return point.pageIndex;
    for (int i = 0; i < entries; ++i)
        if (there(i)) return i;
    return -1;
}

void TSYS_Frmzorled::BuildPageList() {
    PageList.clear();
    PagePlans.clear();
    // Read without a test: the plan editor writes it every time it closes.
    SelectedPlans = ReadTextList(ResolveCase(SelectListPath()));
    LoadSchedule();
    SelectionPages.clear();
    for (const std::string& plan : SelectedPlans) {
        const auto file = FindFileCaseInsensitive(PlanFilePath(plan));
        if (!file) continue;
        PlanLines = ReadTextList(*file);
        SelectionPages.insert(SelectionPages.end(), PlanLines.begin(), PlanLines.end());
        if (!PlanOn(plan)) continue;
        PageList.insert(PageList.end(), PlanLines.begin(), PlanLines.end());
        PagePlans.insert(PagePlans.end(), PlanLines.size(), plan);
    }
}

void TSYS_Frmzorled::StartPlugins() { PlayPluginCalls->Start(SelectionPages); }

std::string TSYS_Frmzorled::NextPageName() {
    if (PageList.empty()) return {};
    ++PageIndex;
    if (PageIndex >= static_cast<int>(PageList.size())) PageIndex = 0;
    return PageList[PageIndex];
}

void TSYS_Frmzorled::PlayNextPage() {
    if (SelectionReplaced && Playing) {
        SelectionReplaced = false;
        PlayPluginCalls->Stop();
        BuildPageList();
        StartPlugins();
        PageIndex = -1;
    }
    if (Playing && Schedule.Active()) {
        if (ScheduleMoved(true)) PageIndex = -1;
        if (ScheduleNow.dark) {
            GoDark();
            return;
        }
    }
    // One pass at most: pages that are missing or cannot be read are passed over.
    for (size_t tried = 0; tried < PageList.size(); ++tried) {
        const std::string name = NextPageName();
        if (name.empty()) {
            // An empty entry ends the search for this tick; a run with no page yet waits on black.
            if (Playing && !PlayPageOnScreen()) WaitForPages(false);
            return;
        }
        if (PlayListedPage(name)) return;
        if (!Playing) return;
    }
    if (Playing) WaitForPages(true);
}

bool TSYS_Frmzorled::PlayListedPage(const std::string& name) {
    const std::filesystem::path path = PageFilePath(name);
    try {
        if (!PlayPageFile(path)) return false;
    } catch (const std::exception& e) {
        if (!Playing) throw;
        // A broken page is passed over like a missing one; it is reported when it breaks, not
        // on every round, so a sign left alone for months keeps one line per fault in its log.
        const std::string message = e.what();
        auto known = BrokenPages.find(name);
        if (known == BrokenPages.end() || known->second != message) {
            BrokenPages[name] = message;
            ReportError(QString::fromStdString(message));
        }
        return false;
    }
    BrokenPages.erase(name);
    WaitingForPages = false;
    // A box saying there is nothing to play must not stand over the page that now plays.
    if (!WaitingReport.isEmpty()) WithdrawReport(std::exchange(WaitingReport, QString()));
    if (PageShown) PageShown(name);
    return true;
}

bool TSYS_Frmzorled::PlayPageOnScreen() const { return Page && PageFromPlay; }

void TSYS_Frmzorled::WaitForPages(bool wholePass) {
    const bool already = WaitingForPages;
    WaitingForPages = true;
    PageStart = Now();
    PageStartMono = MonotonicNow();
    if (!PlayPageOnScreen()) ShowBlankPage();
    TimerPlay->SetEnabled(true);
    followingPage_.clear();
    ShowPlayStatus();
    // Outside every plan's window nothing is due: that is no fault to report.
    if (!wholePass || already || (Schedule.Active() && PageList.empty())) return;
    const QString why = PageList.empty()
                            ? QString::fromUtf8("所选播放方案中没有页面，每 %1 秒重试").arg(kMinDisplayTime)
                            : QString::fromUtf8("所选播放方案中没有可播放的页面（页面文件不存在或无法读取），每 %1 秒重试")
                                  .arg(kMinDisplayTime);
    if (PlayWaiting) PlayWaiting(why);
    WaitingReport = why;
    ReportError(why);
}

void TSYS_Frmzorled::ShowBlankPage() {
    std::unique_ptr<TFrmZorLedForm> blank(zl::CreatePageWindow("", false));
    blank->setAttribute(Qt::WA_ShowWithoutActivating);
    // Where the page before play was, at its size, so the LED output keeps its frame.
    if (Page) blank->SetBounds(Page->Left(), Page->Top(), Page->Width(), Page->Height());
    blank->SetBorderStyle(Page ? Page->BorderStyle() : blank->BorderStyle());
    blank->SetColor(clBlack);
    PutPageOnScreen(std::move(blank));
    PageFromPlay = false;
}

void TSYS_Frmzorled::RetryPages() {
    // The list files are read again too: a plan put back counts as much as a page put back.
    const StringList before = PageList;
    BuildPageList();
    if (PageList != before) {
        PlayPluginCalls->Stop();
        StartPlugins();
        PageIndex = -1;
    }
    PlayNextPage();
}

bool TSYS_Frmzorled::PlayPageFile(const std::filesystem::path& path) {
    const auto file = FindFileCaseInsensitive(path);
    std::error_code ec;
    if (!file || std::filesystem::is_directory(*file, ec)) return false;
    Playing = true;
    ShowNextPage(*file);
    PlayedFile = *file;
    Dark = false;
    PageStart = Now();
    PageStartMono = MonotonicNow();
    TimerPlay->SetEnabled(Playing);
    followingPage_ = FollowingPage();
    ShowPlayStatus();
    return true;
}

void TSYS_Frmzorled::ShowNextPage(const std::filesystem::path& file, bool dark) {
    FreeRetiringPage();
    std::unique_ptr<TFrmZorLedForm> next(zl::CreatePageWindow("LedDesignWin", false));
    // Shown without the activation, so an open menu or dialog stays as the operator left it.
    next->setAttribute(Qt::WA_ShowWithoutActivating);
    // The page leaving gives up its name while the next is read, so a file's root name reads
    // as it would into the only page window.
    const std::string currentName = Page ? Page->Name() : std::string();
    if (Page) Page->SetName("");
    try {
        LoadPageFile(*next, file, false);
    } catch (...) {
        if (Page) Page->SetName(currentName);
        throw;
    }
    next->HookAllWidgets();
    next->StopWidgets();
    if (dark) {
        // The page's place and size, nothing of its content.
        for (Control* widget : next->ChildControls()) widget->SetVisible(false);
        next->SetColor(clBlack);
    } else {
        next->StartWidgets();
        next->PrepareFirstFrame();
    }
    PutPageOnScreen(std::move(next));
    PageFromPlay = true;
    CurrentFile = file;
    SetFileTitle();
}

void TSYS_Frmzorled::PutPageOnScreen(std::unique_ptr<TFrmZorLedForm> next) {
    FreeRetiringPage();
    RetiringPage = Page;
    if (RetiringPage) RetiringPage->StopWidgets();
    // Whatever reads the current page (the LED output, the preview) takes the new one as it is shown.
    Page = next.release();
    AttachPage();
    ShowPlayPageWindow(*Page);
    // The old window goes once the new one is drawn over it; until then the screen shows one
    // or the other, never the desktop. A window that is never exposed lets it go at the next tick.
    QWindow* shown = Page->windowHandle();
    if (!shown || shown->isExposed()) {
        FreeRetiringPage();
        return;
    }
    QPointer<TFrmZorLedForm> retiring = RetiringPage;
    WhenExposed(*shown, [this, retiring] {
        // Freed after the expose has been served, which draws the new page.
        QMetaObject::invokeMethod(
            this, [this, retiring] { if (retiring && retiring == RetiringPage) FreeRetiringPage(); },
            Qt::QueuedConnection);
    });
}

void TSYS_Frmzorled::ShowPlayPageWindow(TFrmZorLedForm& page) {
    // Qt closes an open menu whenever another window is mapped, which would let the operator's
    // next click fall through to whatever lies beneath; the menu of the menu bar is opened again
    // at once, on the entry it was on.
    // A window that only plays has no menu bar; asking for one would make it (and load Qt's
    // image plug-ins for its icons) in every headless sign.
    auto* bar = qobject_cast<QMenuBar*>(menuWidget());
    QAction* title = bar ? bar->activeAction() : nullptr;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QAction* entry = menu ? menu->activeAction() : nullptr;
    if (!title || title->menu() != menu) title = nullptr;
    page.SetVisible(true);
    KeepPageUnderDialogs(page);
    if (!title || QApplication::activePopupWidget()) return;
    bar->setActiveAction(title);
    if (entry && title->menu()->isVisible()) title->menu()->setActiveAction(entry);
}

void TSYS_Frmzorled::FreeRetiringPage() {
    delete RetiringPage;
    RetiringPage = nullptr;
}

void TSYS_Frmzorled::TimerPlayTimer() {
    FreeRetiringPage();
    // A window opening or closing replaces the page at once, whatever its time left.
    if (FollowSchedule(false)) return;
    if (!Page || Dark) {
        ShowPlayStatus();
        return;
    }
    if (WaitingForPages) {
        if ((MonotonicNow() - PageStartMono) / 1000 >= kMinDisplayTime) RetryPages();
        ShowPlayStatus();
        return;
    }
    if (Page->displaytime < kMinDisplayTime) Page->displaytime = kMinDisplayTime;
    // Whole seconds, cut toward zero, on the monotonic clock: setting the wall clock changes
    // no page's time.
    const std::int64_t elapsed = (MonotonicNow() - PageStartMono) / 1000;
    if (elapsed > Page->displaytime) {
        Page->StopWidgets();
        if (Page->WidgetsIdle()) PlayNextPage();
    }
    ShowPlayStatus();
}

void TSYS_Frmzorled::TakeNewSelection() {
    SelectionReplaced = true;
    // A page on screen finishes its time; with none, play starts the new selection at once.
    if (Playing && (!Page || !TimerPlay->Enabled() || WaitingForPages)) PlayNextPage();
}

std::string TSYS_Frmzorled::FollowingPage() const {
    // The entries play would skip (pages that do not exist, or failed when last tried) are
    // skipped here too.
    const int count = static_cast<int>(PageList.size());
    for (int step = 1; step <= count; ++step) {
        const std::string& name = PageList[(PageIndex + step) % count];
        if (BrokenPages.contains(name)) continue;
        const auto file = FindFileCaseInsensitive(PageFilePath(name));
        std::error_code ec;
        if (file && !std::filesystem::is_directory(*file, ec)) return name;
    }
    return {};
}

void TSYS_Frmzorled::ShowPlayCommand(bool stop) {
    ActionPlay->setText(QString::fromUtf8(stop ? "停止" : "播放"));
    ActionPlay->setIcon(MakeToolIcon(stop ? ToolIcon::Stop : ToolIcon::Play));
}

void TSYS_Frmzorled::ShowPlayStatus() {
    if (!PlayStatus) return;  // a play-only window has no status line
    const auto q = [](const std::string& gbk) { return QString::fromStdString(GbkToUtf8(gbk)); };
    if (Playing && Dark) {
        PlayStatus->setText(ScheduleNote());
        PlayStatus->show();
        return;
    }
    if (Playing && WaitingForPages) {
        const std::int64_t left = std::max<std::int64_t>(0, kMinDisplayTime - (MonotonicNow() - PageStartMono) / 1000);
        PlayStatus->setText(QString::fromUtf8("方案：%1    没有可播放的页面，%2 秒后重试")
                                .arg(q(JoinedPlans()))
                                .arg(left));
        PlayStatus->show();
        return;
    }
    if (!Playing || !Page || PageIndex < 0 || PageIndex >= static_cast<int>(PageList.size())) {
        PlayStatus->clear();
        PlayStatus->hide();
        return;
    }
    const std::int64_t elapsed = (MonotonicNow() - PageStartMono) / 1000;
    const std::int64_t left = std::max<std::int64_t>(0, std::max(Page->displaytime, kMinDisplayTime) - elapsed);
    PlayStatus->setText(QString::fromUtf8("方案：%1    页面：%2    剩余 %3 秒    下一页：%4")
                            .arg(q(CurrentPlan()), q(PageList[PageIndex]))
                            .arg(left)
                            .arg(q(followingPage_)) +
                        (Schedule.Active() ? QString::fromUtf8("    ") + ScheduleNote() : QString()));
    PlayStatus->show();
}

std::string TSYS_Frmzorled::CurrentPlan() const {
    if (PageIndex < 0 || PageIndex >= static_cast<int>(PagePlans.size())) return {};
    return PagePlans[PageIndex];
}

std::string TSYS_Frmzorled::JoinedPlans() const {
    std::string plans;
    for (const std::string& plan : SelectedPlans) plans += (plans.empty() ? "" : ", ") + plan;
    return plans;
}

void TSYS_Frmzorled::StopPlay() {
    Playing = false;
    WaitingForPages = false;
    WaitingReport.clear();
    FreeRetiringPage();
    // A dark page is no page to design or save: the page it took its place from comes back.
    if (Dark && Page && !CurrentFile.empty()) Guarded([this] { ShowNextPage(CurrentFile); });
    Dark = false;
    if (Page) Page->StopWidgets();
    TimerPlay->SetEnabled(false);
    ShowPlayStatus();
    PlayPluginCalls->Stop();
    if (LedOutput) LedOutput->SetPlaying(false);
}

}  // namespace zl
