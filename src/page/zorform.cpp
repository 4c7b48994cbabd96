#include "page/zorform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QWindow>

#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "qtbase/windowlayers.h"
#include "widgets/paint.h"

namespace zl {

TZorForm::TZorForm(Component* owner) : QWidget(nullptr), Control(this, owner) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setProperty(kPageWindowProperty, true);
    SetParentFont(false);
    SetColor(clBtnFace);
    caption_ = "ZorForm";
    setWindowTitle(Q(caption_));
    ApplyWindowFlags();
    SetBounds(194, 159, 696, 480);
}

TZorForm::~TZorForm() {
    // Widgets are the page's Qt children: Qt frees them in one pass once the component list has
    // let go of them (one at a time, each would search the sibling list). Anything else owned
    // goes here.
    const std::vector<Component*> owned = Components();
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        if (!dynamic_cast<Control*>(*it)) delete *it;
}

void TZorForm::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    const int w = std::max(width - kFrameWidth, 0);
    const int h = std::max(height - kFrameHeight, 0);
    if (borderStyle_ == bsDialog) setFixedSize(w, h);
    // The client area is placed, not the frame: whatever frame the window manager draws, the
    // page lands where the frame model puts it, so a sending card can mirror a fixed area.
    setGeometry(ClientPlace().x(), ClientPlace().y(), w, h);
}

QPoint TZorForm::ClientPlace() const { return {left_ + kFrameLeft, top_ + kFrameTop}; }

void TZorForm::showEvent(QShowEvent* event) {
    placeChecked_ = false;
    settling_ = false;
    QWidget::showEvent(event);
}

void TZorForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!isVisible() || !windowHandle() || !windowHandle()->isExposed()) return;
    if (!placeChecked_) {
        CheckPlace();
        return;
    }
    if (settling_) {
        // The window manager's answer to the correction, not the operator's move.
        settling_ = false;
        return;
    }
    // Later moves are the operator's: the page keeps its new place by the rule it is placed by.
    const QPoint client = geometry().topLeft();
    if (client == ClientPlace()) return;
    OperatorMoving();
    left_ = client.x() - kFrameLeft;
    top_ = client.y() - kFrameTop;
    OperatorMoved();
}

void TZorForm::CheckPlace() {
    // A window manager that ignores the requested gravity puts the client elsewhere when it maps
    // the window: put it back, once, when the window first shows, so that no move of the
    // operator's is ever taken for that error.
    placeChecked_ = true;
    const QPoint error = geometry().topLeft() - ClientPlace();
    if (error.isNull()) return;
    settling_ = true;
    setGeometry(QRect(ClientPlace() - error, size()));
}

void TZorForm::SetClientWidth(int v) { SetBounds(left_, top_, v + kFrameWidth, Height()); }
void TZorForm::SetClientHeight(int v) { SetBounds(left_, top_, Width(), v + kFrameHeight); }

void TZorForm::SetVisible(bool v) {
    visible_ = v;
    // A page being read is shown once everything is in.
    if (!IsLoading()) setVisible(v);
}

void TZorForm::SetCaption(const std::string& v) {
    caption_ = v;
    setWindowTitle(Q(v));
}

QString TZorForm::PageName() const { return File.empty() ? Q(caption_) : QString::fromStdString(File.string()); }

void TZorForm::SetBorderStyle(int v) {
    if (v == borderStyle_) return;
    borderStyle_ = v;
    ApplyWindowFlags();
    SetBounds(left_, top_, Width(), Height());
}

void TZorForm::SetFormStyle(int v) {
    if (v == formStyle_) return;
    formStyle_ = v;
    ApplyWindowFlags();
}

void TZorForm::ApplyWindowFlags() {
    const bool wasVisible = isVisible();
    Qt::WindowFlags flags = Qt::Window;
    if (borderStyle_ == bsDialog)
        flags |= Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    // A page without a border (an LED sign's page on a second screen) gets no frame at all.
    if (borderStyle_ == bsNone) flags |= Qt::FramelessWindowHint;
    if (formStyle_ == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
    if (borderStyle_ != bsDialog) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    // Changing the flags of a shown window hides and re-maps it, which can race the window
    // manager and leave it unmapped: only touch them when they really change.
    if (flags == windowFlags()) return;
    setWindowFlags(flags);
    if (wasVisible) show();
}

void TZorForm::paintEvent(QPaintEvent*) try {
    // The first paint comes once the window is exposed, also when mapping it moved nothing.
    if (!placeChecked_ && windowHandle() && windowHandle()->isExposed()) CheckPlace();
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(EffectiveColor()));
} catch (...) {
    ReportCurrentError();
}

void TZorForm::closeEvent(QCloseEvent* event) {
    visible_ = false;
    QWidget::closeEvent(event);
}

const std::vector<std::string>& TZorForm::PublishedHandlers() const {
    static const std::vector<std::string> none;
    return none;
}

const ClassInfo& TZorForm::StaticClass() {
    using namespace decl;
    using T = TZorForm;
    auto never = [](const Persistent&) { return false; };
    static const PropInfo props[] = {
        common::Left<T>(), common::Top<T>(),
        With(common::Width<T>(), never), With(common::Height<T>(), never),
        common::Align<T>(),
        Field<T, &T::AlphaBlend>("AlphaBlend", PropKind::Enum, 0, &kBooleanNames),
        Field<T, &T::AlphaBlendValue>("AlphaBlendValue", PropKind::Integer, 255),
        Field<T, &T::AutoScroll>("AutoScroll", PropKind::Enum, 0, &kBooleanNames),
        Field<T, &T::AutoSize>("AutoSize", PropKind::Enum, 0, &kBooleanNames),
        common::BiDiMode<T>(),
        Field<T, &T::BorderIcons>("BorderIcons", PropKind::Set, Bit(biSystemMenu) | Bit(biMinimize) | Bit(biMaximize), &kBorderIconNames),
        Access<T, &T::BorderStyle, &T::SetBorderStyle>("BorderStyle", PropKind::Enum, bsSizeable, &kFormBorderStyleNames),
        Field<T, &T::BorderWidth>("BorderWidth", PropKind::Integer, 0),
        common::Caption<T>(),
        Ranged(Access<T, &T::ClientHeight, &T::SetClientHeight>("ClientHeight", PropKind::Integer), kMinPosition, kMaxPosition),
        Ranged(Access<T, &T::ClientWidth, &T::SetClientWidth>("ClientWidth", PropKind::Integer), kMinPosition, kMaxPosition),
        common::Color<T>(),
        common::Constraints<T>(),
        Field<T, &T::DefaultMonitor>("DefaultMonitor", PropKind::Enum, dmActiveForm, &kDefaultMonitorNames),
        Field<T, &T::DockSite>("DockSite", PropKind::Enum, 0, &kBooleanNames),
        common::DragKind<T>(), common::DragMode<T>(), common::Enabled<T>(),
        common::ParentFont<T>(false), common::Font<T>(),
        Access<T, &T::FormStyle, &T::SetFormStyle>("FormStyle", PropKind::Enum, fsNormal, &kFormStyleNames),
        Field<T, &T::HelpFile>("HelpFile", PropKind::String),
        Field<T, &T::KeyPreview>("KeyPreview", PropKind::Enum, 0, &kBooleanNames),
        Field<T, &T::OldCreateOrder>("OldCreateOrder", PropKind::Enum, std::nullopt, &kBooleanNames),
        common::ParentBiDiMode<T>(), common::PopupMenu<T>(),
        Field<T, &T::Position>("Position", PropKind::Enum, poDesigned, &kPositionNames),
        Field<T, &T::PrintScale>("PrintScale", PropKind::Enum, poProportional, &kPrintScaleNames),
        Field<T, &T::Scaled>("Scaled", PropKind::Enum, 1, &kBooleanNames),
        common::ShowHint<T>(),
        Field<T, &T::UseDockManager>("UseDockManager", PropKind::Enum, 0, &kBooleanNames),
        common::Visible<T>(0),
        Field<T, &T::WindowState>("WindowState", PropKind::Enum, wsNormal, &kWindowStateNames),
        Event("OnActivate"), Event("OnCanResize"), Event("OnClick"),
        Event("OnClose"), Event("OnCloseQuery"), Event("OnConstrainedResize"),
        Event("OnContextPopup"), Event("OnCreate"), Event("OnDblClick"),
        Event("OnDestroy"), Event("OnDeactivate"), Event("OnDockDrop"),
        Event("OnDockOver"), Event("OnDragDrop"), Event("OnDragOver"),
        Event("OnEndDock"), Event("OnGetSiteInfo"), Event("OnHide"),
        Event("OnHelp"), Event("OnKeyDown"), Event("OnKeyPress"),
        Event("OnKeyUp"), Event("OnMouseDown"), Event("OnMouseMove"),
        Event("OnMouseUp"), Event("OnMouseWheel"), Event("OnMouseWheelDown"),
        Event("OnMouseWheelUp"), Event("OnPaint"), Event("OnResize"),
        Event("OnShortCut"), Event("OnShow"), Event("OnStartDock"),
        Event("OnUnDock"),
    };
    static const PropInfo extras[] = {
        Field<T, &T::PixelsPerInch>("PixelsPerInch", PropKind::Integer),
        Field<T, &T::TextHeight>("TextHeight", PropKind::Integer),
    };
    static const ClassInfo form{"TForm", nullptr, props, extras};
    static const PropInfo own[] = {
        Field<T, &T::displaytime>("displaytime", PropKind::Integer),
    };
    static const ClassInfo info{"TZorForm", &form, own};
    return info;
}

TZorLedForm::TZorLedForm(Component* owner) : TZorForm(owner) { SetCaption("ZorLedForm"); }

const ClassInfo& TZorLedForm::StaticClass() {
    static const ClassInfo info{"TZorLedForm", &TZorForm::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new TZorLedForm(owner); }};
    return info;
}

bool TopLevelNameExists(const std::string& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (Control* c = Control::Of(w); c && EqualsIgnoreCase(c->Name(), name)) return true;
    return false;
}

}  // namespace zl
