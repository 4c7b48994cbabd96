#include "page/zorform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>

#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "widgets/paint.h"

namespace zl {

TZorForm::TZorForm(Component* owner) : QWidget(nullptr), Control(this, owner) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    SetParentFont(false);
    SetColor(clBtnFace);
    caption_ = "ZorForm";
    setWindowTitle(Q(caption_));
    ApplyWindowFlags();
    SetBounds(194, 159, 696, 480);
}

TZorForm::~TZorForm() {
    // The page frees its widgets; they must go while the page's component list still exists.
    const std::vector<Component*> owned = Components();
    for (Component* c : owned)
        if (auto* control = dynamic_cast<Control*>(c)) delete control->Widget();
}

void TZorForm::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    move(left, top);
    const int w = std::max(width - kFrameWidth, 0);
    const int h = std::max(height - kFrameHeight, 0);
    if (borderStyle_ == bsDialog)
        setFixedSize(w, h);
    else
        resize(w, h);
}

void TZorForm::SetClientWidth(int v) { SetBounds(left_, top_, v + kFrameWidth, Height()); }
void TZorForm::SetClientHeight(int v) { SetBounds(left_, top_, Width(), v + kFrameHeight); }

void TZorForm::SetVisible(bool v) {
    visible_ = v;
    setVisible(v);
}

void TZorForm::SetCaption(const std::string& v) {
    caption_ = v;
    setWindowTitle(Q(v));
}

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
    if (formStyle_ == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    if (borderStyle_ != bsDialog) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    if (wasVisible) show();
}

void TZorForm::paintEvent(QPaintEvent*) try {
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

namespace {

PropInfo FormEvent(std::string_view name) {
    PropInfo p;
    p.name = name;
    p.kind = PropKind::Event;
    return p;
}

}  // namespace

const ClassInfo& TZorForm::StaticClass() {
    using namespace decl;
    using T = TZorForm;
    // Bound events are looked up in the form's map by the property's own name.
#define ZL_FORM_EVENT(NAME)                                                                         \
    [] {                                                                                            \
        PropInfo p = FormEvent(NAME);                                                               \
        p.get = [](const Persistent& o) -> PropValue {                                              \
            const auto& events = static_cast<const T&>(o).Events;                                   \
            auto it = events.find(NAME);                                                            \
            return PropValue::Str(it == events.end() ? std::string() : it->second);                 \
        };                                                                                          \
        p.set = [](Persistent& o, const PropValue& v) { static_cast<T&>(o).Events[NAME] = v.s; };   \
        p.stored = [](const Persistent& o) {                                                        \
            const auto& events = static_cast<const T&>(o).Events;                                   \
            auto it = events.find(NAME);                                                            \
            return it != events.end() && !it->second.empty();                                       \
        };                                                                                          \
        return p;                                                                                   \
    }()
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
        Access<T, &T::ClientHeight, &T::SetClientHeight>("ClientHeight", PropKind::Integer),
        Access<T, &T::ClientWidth, &T::SetClientWidth>("ClientWidth", PropKind::Integer),
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
        ZL_FORM_EVENT("OnActivate"), ZL_FORM_EVENT("OnCanResize"), ZL_FORM_EVENT("OnClick"),
        ZL_FORM_EVENT("OnClose"), ZL_FORM_EVENT("OnCloseQuery"), ZL_FORM_EVENT("OnConstrainedResize"),
        ZL_FORM_EVENT("OnContextPopup"), ZL_FORM_EVENT("OnCreate"), ZL_FORM_EVENT("OnDblClick"),
        ZL_FORM_EVENT("OnDestroy"), ZL_FORM_EVENT("OnDeactivate"), ZL_FORM_EVENT("OnDockDrop"),
        ZL_FORM_EVENT("OnDockOver"), ZL_FORM_EVENT("OnDragDrop"), ZL_FORM_EVENT("OnDragOver"),
        ZL_FORM_EVENT("OnEndDock"), ZL_FORM_EVENT("OnGetSiteInfo"), ZL_FORM_EVENT("OnHide"),
        ZL_FORM_EVENT("OnHelp"), ZL_FORM_EVENT("OnKeyDown"), ZL_FORM_EVENT("OnKeyPress"),
        ZL_FORM_EVENT("OnKeyUp"), ZL_FORM_EVENT("OnMouseDown"), ZL_FORM_EVENT("OnMouseMove"),
        ZL_FORM_EVENT("OnMouseUp"), ZL_FORM_EVENT("OnMouseWheel"), ZL_FORM_EVENT("OnMouseWheelDown"),
        ZL_FORM_EVENT("OnMouseWheelUp"), ZL_FORM_EVENT("OnPaint"), ZL_FORM_EVENT("OnResize"),
        ZL_FORM_EVENT("OnShortCut"), ZL_FORM_EVENT("OnShow"), ZL_FORM_EVENT("OnStartDock"),
        ZL_FORM_EVENT("OnUnDock"),
    };
#undef ZL_FORM_EVENT
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
