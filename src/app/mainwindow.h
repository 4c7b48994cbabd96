#pragma once
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/playplugins.h"
#include "core/clock.h"
#include "core/resumepoint.h"
#include "core/schedule.h"
#include "core/textlist.h"
#include "page/frmzorledform.h"

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace zl {

class LedOutputControl;
class AnnouncementBoard;
class TPropertyPanel;

// The main window: owns the one page window, the page and widget commands and play mode.
class TSYS_Frmzorled : public QMainWindow {
    Q_OBJECT
public:
    // A window that only plays (a headless sign, a simulated run) has the commands but no menus,
    // tool panels, file dialogs or plug-in menu: they cost a sign memory and it never shows them.
    enum class Use { Designer, PlayOnly };
    explicit TSYS_Frmzorled(QWidget* parent = nullptr, Use use = Use::Designer);
    ~TSYS_Frmzorled() override;

    // Frame-model geometry of the window, as the form gives it.
    int Left() const { return 20; }
    int Top() const { return 350; }
    static constexpr int kWidth = 492;
    static constexpr int kHeight = 346;
    // The property panel docked beside the tool rows, and where its place is remembered.
    static constexpr int kDockedPanelWidth = 400;
    static constexpr int kDockedPanelHeight = 520;
    static constexpr const char* kDesignerSettings = "designer.ini";

    TFrmZorLedForm* Page = nullptr;
    // The page play replaced, still on screen beneath the new one until that one is drawn.
    TFrmZorLedForm* RetiringPage = nullptr;
    std::filesystem::path CurrentFile;
    bool Playing = false;
    StringList PageList;
    // The plan each entry of PageList comes from.
    StringList PagePlans;
    // A fleet bundle replaced the selection: the next page change starts its first page.
    bool SelectionReplaced = false;
    // Fleet announcements shown in the page's widgets; none without a fleet.
    std::unique_ptr<AnnouncementBoard> Announcements;
    StringList PlanLines;
    StringList SelectedPlans;
    int PageIndex = -1;
    // Where the next StartPlay goes on (a resumed run); none: at the first page.
    std::optional<ResumePoint> Resume;
    // Kept in milliseconds so the tick's whole-second comparison is exact.
    LocalMs PageStart = 0;
    // Play found no page to show: the last page (or a black one) stays and the list is tried
    // again every few seconds; PageStart is then the time of the last try.
    bool WaitingForPages = false;
    // What the wait was reported as, taken back when a page plays again.
    QString WaitingReport;
    // The page on screen was put there by play (not the page from before play, not the black one).
    bool PageFromPlay = false;
    // Pages that failed to load in this run, with their error, so each fault is reported once.
    std::map<std::string, std::string> BrokenPages;
    // The page's time is measured here: a wall clock set back or forward changes no duration.
    MonoMs PageStartMono = 0;
    // The schedules of the selection, what they say now and when that may change next.
    PlaySchedule Schedule;
    ScheduleState ScheduleNow;
    std::optional<UtcMs> ScheduleChange;
    // The page file play showed last in this run, for the place and size of a dark page.
    std::filesystem::path PlayedFile;
    // The sign is dark: a black page where the last one was, its widgets never started.
    bool Dark = false;
    // An announcement is shown: the sign is not dark while it lasts.
    bool Awake = false;
    // Every page of the selection, whether its plan is on or not: the data modules are ready
    // for all of them, so a window opening calls no initialisation in the middle of play.
    StringList SelectionPages;
    // Called when the sign goes dark, with the instant it is to light again (none: not foreseen).
    std::function<void(std::optional<UtcMs> until)> DarkShown;
    StringList PluginFiles;
    std::unique_ptr<Timer> TimerPlay;
    std::unique_ptr<PlayPlugins> PlayPluginCalls = std::make_unique<HostPlayPlugins>();
    // Streams the page to LED controllers; none in simulated runs.
    std::unique_ptr<LedOutputControl> LedOutput;

    void CreatePageWindow(const std::string& name, bool shown = true);
    void SavePageTo(const std::filesystem::path& path);
    void OpenPageFile(const std::filesystem::path& path);
    void SetFileTitle();

    // Commands.
    QAction* ActionPlay = nullptr;
    QAction* ActionExit = nullptr;
    QAction* Actionnewpage = nullptr;
    QAction* Actionpageopen = nullptr;
    QAction* Actionpagesave = nullptr;
    QAction* Actionpagesaveto = nullptr;
    QAction* ActionPlaymode = nullptr;
    QAction* Actionnewlabel = nullptr;
    QAction* Actionnewimage = nullptr;
    QAction* Actionnewzmd = nullptr;
    QAction* Actionnewclock = nullptr;
    QAction* Actionnewscrolltext = nullptr;
    QAction* Actiondeleteselected = nullptr;
    QAction* ActionHelp = nullptr;
    QAction* ActionAbout = nullptr;
    QAction* ActionFleet = nullptr;  // "屏群"
    // Designer editing: undo history, clipboard and keys, shared by the main and page windows.
    QAction* ActionUndo = nullptr;       // "撤销" Ctrl+Z
    QAction* ActionRedo = nullptr;       // "重做" Ctrl+Y, Ctrl+Shift+Z
    QAction* ActionCut = nullptr;        // "剪切" Ctrl+X
    QAction* ActionCopy = nullptr;       // "复制" Ctrl+C
    QAction* ActionPaste = nullptr;      // "粘贴" Ctrl+V
    QAction* ActionSelectAll = nullptr;  // "全选" Ctrl+A
    QList<QAction*> EditActions;         // the above, Delete, Esc and the arrow keys
    QAction* ActionAutostart = nullptr;  // "开机自动播放", checked while the autostart entry exists
    // "属性": every published property of the selected widget or the page, floating or docked.
    TPropertyPanel* PropertyPanel = nullptr;
    QAction* ActionProperties = nullptr;
    QList<QAction*> Actions() const;

    // None of these in a play-only window.
    QMenu* loaddll = nullptr;  // "编辑": one entry per plug-in
    QFrame* SYS_Panelsystools = nullptr;
    QFrame* SYS_Panelcreatetools = nullptr;
    QWidget* Panelclient = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    // Applies the enabling rule of play mode to the commands.
    void UpdateCommandStates();

    // Seams for tests: how a file dialog is run and how the save question is answered.
    enum class SaveAnswer { Save, Discard, Cancel };
    std::function<bool(QFileDialog&)> RunFileDialog;
    std::function<SaveAnswer()> AskSaveChanges;
    // Asked before a paste of very many widgets, which takes a while; true pastes them.
    std::function<bool(std::size_t widgets)> AskPasteMany;

    // The page was changed since it was opened, made or saved.
    bool PageModified() const;
    // Asks "是否保存对当前页面的修改？" for a changed page; false when the operator cancels or the
    // chosen save did not happen, and the command must then change nothing.
    bool MayDiscardPage();
    // Ends the program without the save question (a stop by a signal).
    void QuitWithoutQuestion();

    // Clipboard commands; a paste that is not page text is refused with a message.
    void CopySelection();
    void CutSelection();
    void PasteClipboard();
    // Runs the play plan editor; true when it was closed with "确定".
    std::function<bool()> RunPlanEditor;
    // Called with the page name each time play shows a page.
    std::function<void(const std::string& page)> PageShown;
    // Called once each time play starts waiting for pages, with the reason shown to the operator.
    std::function<void(const QString& why)> PlayWaiting;

    // The play run.
    void StartPlay();
    // The entry of PageList a resume record points at: its plan and page where that plan is on
    // (an old record: its index); -1 when the record is of another selection or its plan is off.
    int ResumeIndex(const ResumePoint& point) const;
    void BuildPageList();
    void StartPlugins();
    std::string NextPageName();
    void PlayNextPage();
    bool PlayPageFile(const std::filesystem::path& path);
    // Plays the named page of the list; a page that cannot be read is reported (once per fault)
    // and false is returned, as for a missing one.
    bool PlayListedPage(const std::string& name);
    bool PlayPageOnScreen() const;
    // No page could be shown: keep the play page on screen or show a black one, and retry later.
    void WaitForPages(bool wholePass);
    void ShowBlankPage();
    void RetryPages();
    // Play's page change: the next page is read, started and composed in a window not yet
    // shown, then shown above the current one without taking the activation, and becomes the
    // current page; the current one is freed once the new one is on screen. A page that fails
    // to load leaves the current one showing. A dark page takes only the place and size of the
    // file's page and shows black.
    void ShowNextPage(const std::filesystem::path& file, bool dark = false);
    void PutPageOnScreen(std::unique_ptr<TFrmZorLedForm> next);
    void FreeRetiringPage();
    // Shows a play page window: the program's open dialogs stay above it, and a menu of the menu
    // bar open at that moment stays open.
    void ShowPlayPageWindow(TFrmZorLedForm& page);
    void TimerPlayTimer();
    void StopPlay();
    // Reads the schedules of SelectedPlans and what they say now; problems are reported once.
    void LoadSchedule();
    // Whether a plan of the selection is on now.
    bool PlanOn(const std::string& plan) const;
    // Looks at the schedule again when it is due (or forced, or the wall clock jumped); true
    // when the plans on or the darkness changed, with PageList rebuilt for them.
    bool ScheduleMoved(bool force);
    // Replaces the page on screen at once when the plans on or the darkness changed; true then.
    bool FollowSchedule(bool force);
    // Wakes a dark sign while an announcement shows, and lets it go dark again after.
    void SetAwake(bool awake);
    // Shows the black page in place of the last one (at start, of the selection's first page).
    void GoDark();
    // The plans on and when that ends, or dark and until when; empty without schedules.
    QString ScheduleNote() const;
    // The fleet replaced the selection: takes it at the next page change, or now when idle.
    void TakeNewSelection();
    // The plan of the page on screen (GBK), empty when none.
    std::string CurrentPlan() const;
    // The selected plans, joined with commas (GBK).
    std::string JoinedPlans() const;
    // The status line of a play run: plan, page, its seconds left and the page after it.
    QLabel* PlayStatus = nullptr;
    void ShowPlayStatus();
    // The play command reads and looks like the stop command while a run goes on.
    void ShowPlayCommand(bool stop);

    // Runs the menu plug-in of PluginFiles at the command's tag.
    void RunPluginCommand(int tag);

    void ActionnewpageExecute();
    void ActionpageopenExecute();
    void ActionpagesaveExecute();
    void ActionpagesavetoExecute();
    void ActionPlayExecute();
    void ActionPlaymodeExecute();
    void ActionFleetExecute();
    void ActionAutostartExecute(bool on);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* MakeAction(const char* caption, const char* category, std::function<void()> run);
    QToolButton* MakeToolButton(QWidget* panel, int left, QAction* action, int icon);
    void BuildActions();
    void BuildMenus();
    void BuildPanels();
    void BuildFileDialogs();
    std::optional<std::filesystem::path> ChosenFile(QFileDialog& dialog);
    void BuildEditActions();
    void AttachPage();
    bool askOnClose_ = true;
    // The page play shows after the current one, found when a page starts (GBK).
    std::string followingPage_;
    std::string FollowingPage() const;
    // UTC minus the monotonic clock at the last look at the schedule: a jump means a time sync.
    std::int64_t wallOffset_ = 0;
    std::vector<std::string> reportedScheduleProblems_;
};

// The title of the main window for the page file shown (empty: none).
QString MainTitle(const std::filesystem::path& currentFile, bool playing, bool modified = false);

}  // namespace zl
