#include "app/mainwindow.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QUndoStack>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "about/aboutboxes.h"
#include "app/autostart.h"
#include "app/fleetplay.h"
#include "app/fleetwindow.h"
#include "app/toolicons.h"
#include "core/error.h"
#include "core/home.h"
#include "fleet/bundle.h"
#include "editors/formplanedit.h"
#include "editors/propertypanel.h"
#include "output/ledoutputcontrol.h"
#include "core/codepage.h"
#include "page/pageclipboard.h"
#include "page/pagefile.h"
#include "plugins/pluginfolders.h"
#include "plugins/pluginload.h"
#include "qtbase/application.h"

namespace zl {
namespace {

constexpr const char* kMainTitle = "ZorLED显示系统";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QString MainTitle(const std::filesystem::path& currentFile, bool playing, bool modified) {
    const QString star = modified ? U("*") : QString();
    if (currentFile.empty()) return U(kMainTitle) + star;
    return U(kMainTitle) + U("        当前文件:") + QString::fromStdString(currentFile.filename().string()) + star +
           (playing ? U("[播放模式]") : U("[设计模式"));
}

TSYS_Frmzorled::TSYS_Frmzorled(QWidget* parent, Use use) : QMainWindow(parent) {
    setObjectName("SYS_Frmzorled");
    setWindowTitle(U(kMainTitle));
    QFont font(U("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    move(20, 350);
    resize(kWidth - 6, kHeight - 26);

    BuildActions();
    if (use == Use::Designer) {
        // Docked on the right, beside the tool rows rather than over the 播放 button; the window
        // widens by the panel while it is docked there, so the fixed tool rows keep their room.
        PropertyPanel = new TPropertyPanel(this);
        addDockWidget(Qt::RightDockWidgetArea, PropertyPanel);
        PropertyPanel->hide();
        auto fit = [this] {
            const int tools = kWidth - 6;
            if (PropertyPanel->isVisible() && !PropertyPanel->isFloating()) {
                const bool widen = width() < tools + kDockedPanelWidth;
                resize(std::max(width(), tools + kDockedPanelWidth), std::max(height(), kDockedPanelHeight));
                // The room the window grew by goes to the panel, not to the fixed tool rows.
                if (widen) resizeDocks({PropertyPanel}, {kDockedPanelWidth}, Qt::Horizontal);
            }
            else if (width() > tools)
                resize(tools, kHeight - 26);
        };
        connect(PropertyPanel, &QDockWidget::visibilityChanged, this, fit);
        connect(PropertyPanel, &QDockWidget::topLevelChanged, this, fit);

        BuildMenus();
        BuildPanels();
        // Where the operator last left the panel (docked or floating, and where).
        const QSettings remembered(QString::fromStdString((ProgramHome() / kDesignerSettings).string()),
                                   QSettings::IniFormat);
        restoreState(remembered.value("MainWindow/State").toByteArray());
    }

    // A fresh installation has no pagedef folder; the plan editor's lists must have somewhere to go.
    EnsurePageDefDir();

    // 1. The first page window.
    CreatePageWindow("LedDesignWin");
    if (use == Use::Designer) {
        // 2. Both file dialogs start in the pagedef folder.
        BuildFileDialogs();
        // 3. One "编辑" command per described menu plug-in.
        for (const auto& folder : PluginFolders()) {
            StringList found;
            ScanPlugins(folder, found);
            // A name in an earlier folder hides the same name later, as loading by name finds it first.
            for (const std::string& name : found)
                if (std::find(PluginFiles.begin(), PluginFiles.end(), name) == PluginFiles.end())
                    PluginFiles.push_back(name);
        }
        BuildPluginMenu(*loaddll, PluginFiles, [this](int tag) { RunPluginCommand(tag); });
    }
    // 4. Design mode, play timer off.
    TimerPlay = CreateTimer();
    TimerPlay->SetInterval(1000);
    TimerPlay->SetEnabled(false);
    TimerPlay->SetOnTimer([this] { Guarded([this] { TimerPlayTimer(); }); });
    Playing = false;
    PageIndex = -1;
    UpdateCommandStates();
    RunPlanEditor = [] { return EditPlayPlan(); };

    RunFileDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    AskSaveChanges = [this] {
        QMessageBox box(QMessageBox::Question, U("请确定"), U("是否保存对当前页面的修改？"), QMessageBox::NoButton, this);
        QPushButton* save = box.addButton(U("保存"), QMessageBox::AcceptRole);
        QPushButton* discard = box.addButton(U("不保存"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(U("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.setEscapeButton(cancel);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        if (box.clickedButton() == save) return SaveAnswer::Save;
        if (box.clickedButton() == discard) return SaveAnswer::Discard;
        return SaveAnswer::Cancel;
    };
    AskPasteMany = [this](std::size_t widgets) {
        QMessageBox box(QMessageBox::Question, U("请确定"),
                        U("剪贴板中有 %1 个部件，粘贴这么多部件需要一些时间。是否粘贴？").arg(widgets),
                        QMessageBox::NoButton, this);
        QPushButton* paste = box.addButton(U("粘贴"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(U("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        return box.clickedButton() == paste;
    };
}

void TSYS_Frmzorled::BuildFileDialogs() {
    const QString filter = U("LED页面定义文件 (*.DFM);;所有文件 (*)");
    OpenDialog1 = new QFileDialog(this, QString(), QString::fromStdString(PageDefDir().string()), filter);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setDefaultSuffix("DFM");
    SaveDialog1 = new QFileDialog(this, QString(), QString::fromStdString(PageDefDir().string()), filter);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setDefaultSuffix("DFM");
    for (QFileDialog* d : {OpenDialog1, SaveDialog1}) d->setOption(QFileDialog::DontUseNativeDialog);
}

TSYS_Frmzorled::~TSYS_Frmzorled() {
    TimerPlay->SetEnabled(false);
    // Closing during play still uninitialises the data modules that play start initialised.
    if (Playing) Guarded([this] { StopPlay(); });
    FreeRetiringPage();
    delete Page;
    Page = nullptr;
}

QAction* TSYS_Frmzorled::MakeAction(const char* caption, const char* category, std::function<void()> run) {
    auto* action = new QAction(U(caption), this);
    action->setProperty("category", U(category));
    // A command's error is reported here, before it unwinds into Qt's action code.
    connect(action, &QAction::triggered, this, GuardedHandler(std::move(run)));
    return action;
}

QList<QAction*> TSYS_Frmzorled::Actions() const {
    return {ActionPlay, ActionExit, Actionnewpage, Actionpageopen, Actionpagesave, Actionpagesaveto,
            ActionPlaymode, Actionnewlabel, Actionnewimage, Actionnewzmd, Actionnewclock,
            Actionnewscrolltext, Actiondeleteselected, ActionHelp, ActionAbout};
}

void TSYS_Frmzorled::BuildActions() {
    ActionPlay = MakeAction("播放", "system", [this] { ActionPlayExecute(); });
    ActionPlay->setObjectName("ActionPlay");
    ActionExit = MakeAction("退出", "system", [this] { close(); });
    Actionnewpage = MakeAction("新页面", "page", [this] { ActionnewpageExecute(); });
    Actionpageopen = MakeAction("打开", "page", [this] { ActionpageopenExecute(); });
    Actionpagesave = MakeAction("保存", "page", [this] { ActionpagesaveExecute(); });
    Actionpagesaveto = MakeAction("另存为", "page", [this] { ActionpagesavetoExecute(); });
    ActionPlaymode = MakeAction("播放方案", "system", [this] { ActionPlaymodeExecute(); });
    Actionnewlabel = MakeAction("新增标签", "component", [this] { Page->CreateWidget(wkLabel); });
    Actionnewimage = MakeAction("新增图片", "component", [this] { Page->CreateWidget(wkImage); });
    Actionnewzmd = MakeAction("新增走马灯", "component", [this] { Page->CreateWidget(wkMarquee); });
    Actionnewclock = MakeAction("新增时钟", "component", [this] { Page->CreateWidget(wkClock); });
    Actionnewscrolltext = MakeAction("新增显示板", "component", [this] { Page->CreateWidget(wkScrollText); });
    Actiondeleteselected = MakeAction("删除部件", "component", [this] { Page->DeleteSelected(); });
    ActionHelp = MakeAction("帮助", "system", [this] { ShowContact(this); });
    ActionAbout = MakeAction("关于", "system", [this] { ShowAbout(this, "doRAZeviv", ProgramVersion()); });
    ActionFleet = MakeAction("屏群", "system", [this] { ActionFleetExecute(); });
    BuildEditActions();
}

void TSYS_Frmzorled::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* led = bar->addMenu(U("Led显示"));
    led->addAction(ActionPlay);
    ActionAutostart = led->addAction(U("开机自动播放"));
    ActionAutostart->setObjectName("ActionAutostart");
    ActionAutostart->setCheckable(true);
    ActionAutostart->setChecked(AutostartEnabled());
    connect(ActionAutostart, &QAction::triggered, this,
            [this](bool on) { Guarded([&] { ActionAutostartExecute(on); }); });
    led->addSeparator();
    led->addAction(ActionExit);
    QMenu* pages = bar->addMenu(U("页面定义"));
    pages->addActions({Actionnewpage, Actionpageopen, Actionpagesave, Actionpagesaveto});
    pages->addSeparator();
    pages->addAction(ActionPlaymode);
    QMenu* widgets = bar->addMenu(U("部件定义"));
    widgets->addActions({Actionnewlabel, Actionnewscrolltext, Actionnewzmd, Actionnewclock, Actionnewimage});
    widgets->addSeparator();
    widgets->addAction(Actiondeleteselected);
    widgets->addSeparator();
    widgets->addActions({ActionUndo, ActionRedo});
    widgets->addSeparator();
    widgets->addActions({ActionCut, ActionCopy, ActionPaste, ActionSelectAll});
    widgets->addSeparator();
    ActionProperties = PropertyPanel->toggleViewAction();
    ActionProperties->setObjectName("ActionProperties");
    ActionProperties->setText(U("属性"));
    widgets->addAction(ActionProperties);
    QMenu* about = bar->addMenu(U("关于"));
    // The entry reads "联系" but runs the help command, whose own caption is "帮助".
    QAction* contact = about->addAction(U("联系"));
    connect(contact, &QAction::triggered, ActionHelp, &QAction::trigger);
    connect(ActionHelp, &QAction::changed, contact, [contact, this] { contact->setEnabled(ActionHelp->isEnabled()); });
    about->addSeparator();
    about->addAction(ActionAbout);
    loaddll = bar->addMenu(U("编辑"));
    loaddll->setObjectName("loaddll");
    LedOutput = std::make_unique<LedOutputControl>(this, [this]() -> QWidget* { return Page; });
    bar->addMenu(U("LED输出"))->addActions(LedOutput->Actions());
    // The fleet's desk, beside the described menus.
    bar->addMenu(U("屏群"))->addAction(ActionFleet);
}

QToolButton* TSYS_Frmzorled::MakeToolButton(QWidget* panel, int left, QAction* action, int icon) {
    // The picture belongs to the action: a button takes its action's icon again whenever the
    // action changes (caption, enabling), and the menu entry shows it too.
    action->setIcon(MakeToolIcon(static_cast<ToolIcon>(icon)));
    auto* button = new QToolButton(panel);
    button->setDefaultAction(action);
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setGeometry(left, 2, 80, 70);
    return button;
}

void TSYS_Frmzorled::BuildPanels() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    SYS_Panelsystools = new QFrame(central);
    SYS_Panelsystools->setObjectName("SYS_Panelsystools");
    SYS_Panelsystools->setFrameStyle(QFrame::Panel | QFrame::Raised);
    SYS_Panelsystools->setFixedHeight(74);
    SYS_Panelcreatetools = new QFrame(central);
    SYS_Panelcreatetools->setObjectName("SYS_Panelcreatetools");
    SYS_Panelcreatetools->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SYS_Panelcreatetools->setFixedHeight(74);
    Panelclient = new QWidget(central);
    Panelclient->setObjectName("Panelclient");
    layout->addWidget(SYS_Panelsystools);
    layout->addWidget(SYS_Panelcreatetools);
    layout->addWidget(Panelclient, 1);
    setCentralWidget(central);
    PlayStatus = new QLabel(this);
    PlayStatus->setObjectName("PlayStatus");
    PlayStatus->hide();
    // Permanent, so a passing message never hides where play stands.
    statusBar()->addPermanentWidget(PlayStatus, 1);

    int left = 3;
    const std::pair<QAction*, ToolIcon> system[] = {{ActionPlay, ToolIcon::Play}, {Actionnewpage, ToolIcon::NewPage},
                                                    {Actionpageopen, ToolIcon::Open}, {Actionpagesave, ToolIcon::Save},
                                                    {Actionpagesaveto, ToolIcon::SaveAs}};
    for (auto [action, icon] : system) {
        MakeToolButton(SYS_Panelsystools, left, action, static_cast<int>(icon));
        left += 80;
    }
    left = 3;
    const std::pair<QAction*, ToolIcon> create[] = {
        {Actionnewclock, ToolIcon::Clock}, {Actionnewzmd, ToolIcon::Marquee}, {Actionnewscrolltext, ToolIcon::Board},
        {Actionnewlabel, ToolIcon::Label}, {Actionnewimage, ToolIcon::Image}, {Actiondeleteselected, ToolIcon::Delete}};
    for (auto [action, icon] : create) {
        MakeToolButton(SYS_Panelcreatetools, left, action, static_cast<int>(icon));
        left += 80;
    }
}

void TSYS_Frmzorled::BuildEditActions() {
    auto make = [this](const char* caption, QList<QKeySequence> keys, std::function<void()> run) {
        QAction* a = MakeAction(caption, "edit", std::move(run));
        a->setShortcuts(keys);
        EditActions.push_back(a);
        return a;
    };
    auto onPage = [this](void (TFrmZorLedForm::*command)()) {
        return [this, command] {
            if (Page) (Page->*command)();
        };
    };
    ActionUndo = make("撤销", {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] {
        if (Page) Page->History->Stack().undo();
    });
    ActionRedo = make("重做", {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
                      [this] {
                          if (Page) Page->History->Stack().redo();
                      });
    ActionCut = make("剪切", {QKeySequence(Qt::CTRL | Qt::Key_X)}, [this] { CutSelection(); });
    ActionCopy = make("复制", {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { CopySelection(); });
    ActionPaste = make("粘贴", {QKeySequence(Qt::CTRL | Qt::Key_V)}, [this] { PasteClipboard(); });
    ActionSelectAll = make("全选", {QKeySequence(Qt::CTRL | Qt::Key_A)}, onPage(&TFrmZorLedForm::SelectAll));
    Actiondeleteselected->setShortcut(QKeySequence(Qt::Key_Delete));
    EditActions.push_back(Actiondeleteselected);
    make("取消选择", {QKeySequence(Qt::Key_Escape)}, [this] {
        if (Page && Page->Selection) Page->Selection->Clear();
    });
    const struct {
        Qt::Key key;
        int dx, dy;
    } arrows[] = {{Qt::Key_Left, -1, 0}, {Qt::Key_Right, 1, 0}, {Qt::Key_Up, 0, -1}, {Qt::Key_Down, 0, 1}};
    for (const auto& a : arrows) {
        make("移动", {QKeySequence(a.key)}, [this, a] {
            if (Page) Page->MoveSelected(a.dx, a.dy);
        });
        make("移动", {QKeySequence(Qt::SHIFT | a.key)}, [this, a] {
            if (Page) Page->MoveSelected(10 * a.dx, 10 * a.dy);
        });
    }
    addActions(EditActions);
}

void TSYS_Frmzorled::UpdateCommandStates() {
    for (QAction* a : {Actionnewpage, Actionpageopen, Actionpagesave, Actionpagesaveto, Actionnewclock, Actionnewzmd,
                       Actionnewscrolltext, Actionnewlabel, Actionnewimage, Actiondeleteselected, ActionPlaymode,
                       ActionFleet})
        a->setEnabled(!Playing);
    for (QAction* a : EditActions) a->setEnabled(!Playing);
    if (PropertyPanel) PropertyPanel->SetEditable(!Playing);
    if (Page && Page->History) {
        ActionUndo->setEnabled(!Playing && Page->History->Stack().canUndo());
        ActionRedo->setEnabled(!Playing && Page->History->Stack().canRedo());
    }
}

void TSYS_Frmzorled::CreatePageWindow(const std::string& name, bool shown) {
    Page = zl::CreatePageWindow(name, shown);
    AttachPage();
}

void TSYS_Frmzorled::AttachPage() {
    // The editing keys work whichever of the two windows is active.
    Page->addActions(EditActions);
    Page->installEventFilter(this);
    if (PropertyPanel) PropertyPanel->SetPage(Page);
    QUndoStack& stack = Page->History->Stack();
    connect(&stack, &QUndoStack::indexChanged, this, [this] { UpdateCommandStates(); });
    connect(&stack, &QUndoStack::cleanChanged, this, [this] { SetFileTitle(); });
    UpdateCommandStates();
    SetFileTitle();
}

bool TSYS_Frmzorled::PageModified() const { return Page && Page->History && !Page->History->Stack().isClean(); }

bool TSYS_Frmzorled::MayDiscardPage() {
    if (Playing || !PageModified()) return true;
    switch (AskSaveChanges()) {
        case SaveAnswer::Cancel: return false;
        case SaveAnswer::Discard: return true;
        case SaveAnswer::Save:
            ActionpagesaveExecute();
            // A Save as cancelled in its dialog saved nothing: keep the page.
            return !PageModified();
    }
    return false;
}

void TSYS_Frmzorled::QuitWithoutQuestion() {
    askOnClose_ = false;
    close();
}

void TSYS_Frmzorled::CopySelection() {
    if (!Page) return;
    const std::string text = SelectionText(*Page);
    if (text.empty()) return;
    auto* data = new QMimeData;
    data->setData(kPageTextMime, QByteArray::fromStdString(text));
    data->setText(QString::fromStdString(GbkToUtf8(text)));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TSYS_Frmzorled::CutSelection() {
    if (!Page || !Page->Selection || Page->Selection->Count() == 0) return;
    CopySelection();
    Page->DeleteSelected();
}

void TSYS_Frmzorled::PasteClipboard() {
    if (!Page) return;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    std::string text;
    if (data && data->hasFormat(kPageTextMime)) text = data->data(kPageTextMime).toStdString();
    else if (data && data->hasText()) text = Utf8ToGbk(data->text().toStdString());
    PasteText(*Page, text, [this](std::size_t widgets) { return !AskPasteMany || AskPasteMany(widgets); });
}

void TSYS_Frmzorled::ActionFleetExecute() {
    const auto settings = ProgramHome() / "fleet.ini";
    if (!IsPublisherSettings(settings))
        throw Error(Format("No fleet desk settings: \"%s\" needs broker and private_key, without sign",
                           settings.string().c_str()));
    auto* window = new FleetWindow(this, settings, ProgramHome());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void TSYS_Frmzorled::SetFileTitle() { setWindowTitle(MainTitle(CurrentFile, Playing, !Playing && PageModified())); }

void TSYS_Frmzorled::SavePageTo(const std::filesystem::path& path) {
    // The fleet owns pagedef on a managed sign; its next bundle would undo the save anyway.
    std::error_code ec;
    const auto folder = std::filesystem::weakly_canonical(path.parent_path().empty() ? "." : path.parent_path(), ec);
    if (IsFleetManaged(ProgramHome()) && folder == std::filesystem::weakly_canonical(PageDefDir(), ec))
        throw Error(Format("This sign's pages come from the fleet of \"%s\"; save the page elsewhere "
                           "and publish it from the fleet's desk",
                           (ProgramHome() / "fleet.ini").string().c_str()));
    // A save writes the widgets' own texts, never an announcement.
    if (Announcements) Announcements->RestoreAll();
    CurrentFile = path;
    SetFileTitle();
    // The page being designed is a shown page; a save never writes it away hidden.
    if (!Playing && !Page->Visible()) Page->SetVisible(true);
    SavePageFile(*Page, path);
    std::filesystem::path unit = path;
    unit.replace_extension(".Pas");
    WriteUnitSource(*Page, unit);
    Page->History->Stack().setClean();
    SetFileTitle();
}

void TSYS_Frmzorled::OpenPageFile(const std::filesystem::path& path) {
    FreeRetiringPage();
    delete Page;
    Page = nullptr;
    // First shown once read, so the window flags the file sets are in place before its first map.
    CreatePageWindow("LedDesignWin", false);
    CurrentFile = path;
    SetFileTitle();
    try {
        LoadPageFile(*Page, path);
    } catch (...) {
        // A page that could not be read names no file, so Save asks for one instead of
        // writing a partial page over the file that failed.
        CurrentFile.clear();
        SetFileTitle();
        Page->SetVisible(true);
        throw;
    }
    Page->HookAllWidgets();
    Page->StopWidgets();
}

std::optional<std::filesystem::path> TSYS_Frmzorled::ChosenFile(QFileDialog& dialog) {
    if (!RunFileDialog(dialog) || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

void TSYS_Frmzorled::RunPluginCommand(int tag) {
    if (tag >= 0 && tag < static_cast<int>(PluginFiles.size())) RunPlugin(PluginFiles[tag]);
}

void TSYS_Frmzorled::ActionnewpageExecute() {
    if (!MayDiscardPage()) return;
    FreeRetiringPage();
    delete Page;
    Page = nullptr;
    CurrentFile.clear();
    CreatePageWindow("LedDesignWin");
}

void TSYS_Frmzorled::ActionpageopenExecute() {
    if (!OpenDialog1 || !MayDiscardPage()) return;
    if (auto path = ChosenFile(*OpenDialog1)) OpenPageFile(*path);
}

void TSYS_Frmzorled::ActionpagesaveExecute() {
    if (!CurrentFile.empty())
        SavePageTo(CurrentFile);
    else
        ActionpagesavetoExecute();
}

void TSYS_Frmzorled::ActionpagesavetoExecute() {
    if (!SaveDialog1) return;
    SaveDialog1->selectFile(U("机车计划页.DFM"));
    if (auto path = ChosenFile(*SaveDialog1)) SavePageTo(*path);
}

void TSYS_Frmzorled::ActionAutostartExecute(bool on) {
    // The box follows the file, also when writing it failed.
    struct Follow {
        QAction* action;
        ~Follow() {
            if (action) action->setChecked(AutostartEnabled());
        }
    } follow{ActionAutostart};
    const bool installed = IsInstalledProgram(std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()),
                                              InstalledBinDir());
    SetAutostart(on, installed ? "zorled" : QCoreApplication::applicationFilePath().toStdString());
    if (on && ServiceUnitEnabled()) {
        // Two starters would race for the home; the second copy would end at once.
        const QString warning =
            U("systemd 用户服务 zorled.service 已启用：它已会启动播放。请只保留自动启动项和该服务中的一个。");
        statusBar()->showMessage(warning);
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), warning, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

bool TSYS_Frmzorled::eventFilter(QObject* watched, QEvent* event) {
    // The page window's close button or Alt+F4 while designing: hiding it would leave the page
    // edited and saved unseen, so it means 新页面, with its question. The program's own closes
    // (quitting, a stop) are not spontaneous and go through.
    if (watched == Page && event->type() == QEvent::Close && event->spontaneous() && !Playing) {
        event->ignore();
        QTimer::singleShot(0, this, [this] { Guarded([this] { ActionnewpageExecute(); }); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TSYS_Frmzorled::closeEvent(QCloseEvent* event) {
    bool keep = false;
    if (askOnClose_) Guarded([&] { keep = !MayDiscardPage(); });
    if (keep) {
        event->ignore();
        return;
    }
    if (PropertyPanel) {
        QSettings remembered(QString::fromStdString((ProgramHome() / kDesignerSettings).string()), QSettings::IniFormat);
        remembered.setValue("MainWindow/State", saveState());
    }
    // Closing the main window ends the program: play stops first (its data modules are
    // uninitialised once), then the stay-on-top page window and any open report close too.
    TimerPlay->SetEnabled(false);
    if (Playing) Guarded([this] { StopPlay(); });
    FreeRetiringPage();
    if (Page) Page->close();
    CloseReports();
    QMainWindow::closeEvent(event);
    QCoreApplication::quit();
}

}  // namespace zl
