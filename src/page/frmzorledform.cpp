#include "page/frmzorledform.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>

#include "core/codepage.h"
#include "widgets/refreshing.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"

namespace zl {

void (*TFrmZorLedForm::ShowFormEdit)(TFrmZorLedForm& page) = nullptr;

namespace {

int g_counters[8] = {0, 1, 1, 1, 1, 1, 0, 0};

void PlaceWidget(Control& widget, int left, int top, int width, int height) {
    widget.SetLeft(left);
    widget.SetTop(top);
    widget.SetWidth(width);
    widget.SetHeight(height);
}

void SetWidgetFont(TFont& font) {
    font.SetName(Utf8ToGbk("宋体"));
    font.SetSize(11);
    font.SetColor(clRed);
}

// The counter's next number whose name is still free on the page; the counter moves past taken ones.
int TakeNumber(TFrmZorLedForm& page, int kind, const char* prefix) {
    while (page.FindComponent(prefix + std::to_string(g_counters[kind]))) ++g_counters[kind];
    return g_counters[kind];
}

Control* NewLabel(TFrmZorLedForm& page) {
    const int n = TakeNumber(page, wkLabel, "mylabel");
    auto* label = new Tzorledlabel(&page, &page);
    label->SetAutoSize(false);
    label->SetName("mylabel" + std::to_string(n));
    label->SetCaption(Utf8ToGbk("标签"));
    PlaceWidget(*label, 20 * n + 10, 10 * n + 10, 100, 20);
    SetWidgetFont(label->Font());
    ++g_counters[wkLabel];
    return label;
}

Control* NewImage(TFrmZorLedForm& page) {
    const int n = TakeNumber(page, wkImage, "myzorledIMAGE");
    auto* image = new Tzorledimage(&page, &page);
    image->SetAutoSize(false);
    image->SetName("myzorledIMAGE" + std::to_string(n));
    PlaceWidget(*image, 20 * n + 20, 10 * n + 30, 100, 20);
    ++g_counters[wkImage];
    // A bitmap of the widget's size with a one-pixel black frame along its client rectangle.
    QImage bitmap(image->Width(), image->Height(), QImage::Format_RGB888);
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.setPen(Qt::black);
        painter.drawRect(0, 0, bitmap.width() - 1, bitmap.height() - 1);
    }
    image->Picture().SetBitmap(bitmap);
    return image;
}

}  // namespace

int WidgetCounter(int kind) { return g_counters[kind & 7]; }

void ResetWidgetCounters() {
    for (int k = 1; k <= 5; ++k) g_counters[k] = 1;
}

TFrmZorLedForm::TFrmZorLedForm(Component* owner) : TZorLedForm(owner) {
    SetBorderStyle(bsDialog);
    SetCaption("FrmZorLedForm");
    SetBounds(243, 121, 688 + kFrameWidth, 453 + kFrameHeight);
    setMouseTracking(false);
    for (const auto& [event, handler] : std::initializer_list<std::pair<const char*, const char*>>{
             {"OnCreate", "FormCreate"}, {"OnDblClick", "FormDblClick"}, {"OnDestroy", "FormDestroy"},
             {"OnMouseDown", "FormMouseDown"}, {"OnMouseMove", "FormMouseMove"}, {"OnMouseUp", "FormMouseUp"}})
        Events[event] = handler;
    FormCreate();
}

TFrmZorLedForm::~TFrmZorLedForm() {
    if (HandlerBound("OnDestroy", "FormDestroy")) FormDestroy();
    else Selection.reset();
}

const std::vector<std::string>& TFrmZorLedForm::PublishedHandlers() const {
    static const std::vector<std::string> handlers = {"FormMouseDown", "FormMouseMove", "FormMouseUp",
                                                      "FormCreate", "FormDestroy", "FormDblClick"};
    return handlers;
}

bool TFrmZorLedForm::HandlerBound(const char* event, const char* handler) const {
    auto it = Events.find(event);
    return it != Events.end() && it->second == handler;
}

void TFrmZorLedForm::FormCreate() {
    Selection = std::make_unique<Tselectcontrolcla>();
    BandActive = false;
}

void TFrmZorLedForm::FormDestroy() {
    if (Selection) Selection->Clear();
    Selection.reset();
}

Control* TFrmZorLedForm::CreateWidget(int kind) {
    Control* widget = nullptr;
    switch (kind & 0x7F) {
        case wkLabel: widget = NewLabel(*this); break;
        case wkImage: widget = NewImage(*this); break;
        default: break;
    }
    if (widget) {
        widget->Widget()->show();
        Restack();
        HookWidget(widget);
    }
    return widget;
}

std::vector<Control*> TFrmZorLedForm::ChildControls() const {
    std::vector<Control*> drawn, windowed;
    for (Component* c : Components()) {
        auto* control = dynamic_cast<Control*>(c);
        if (!control || control->Widget()->parentWidget() != this) continue;
        (control->IsWindowed() ? windowed : drawn).push_back(control);
    }
    drawn.insert(drawn.end(), windowed.begin(), windowed.end());
    return drawn;
}

void TFrmZorLedForm::Restack() {
    // Raising in control order leaves the clocks on top, then the designer's grips above all.
    for (Control* c : ChildControls()) c->Widget()->raise();
    for (QObject* child : children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->property("zlGrip").toBool()) w->raise();
}

void TFrmZorLedForm::HookWidget(Control* widget) {
    // Installing the same filter again replaces it, so a reload never routes events twice.
    widget->Widget()->installEventFilter(this);
}

void TFrmZorLedForm::HookAllWidgets() {
    for (Control* c : ChildControls()) HookWidget(c);
}

void TFrmZorLedForm::StartWidgets() {
    for (Control* c : ChildControls())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c)) r->StartRefresh();
}

void TFrmZorLedForm::StopWidgets() {
    for (Control* c : ChildControls())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c)) r->StopRefresh();
}

bool TFrmZorLedForm::WidgetsIdle() const {
    for (Control* c : ChildControls())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c); r && !r->RefreshIdle()) return false;
    return true;
}

void TFrmZorLedForm::DeleteSelected() {
    if (!Selection || Selection->Count() == 0) return;
    std::vector<Control*> doomed;
    for (const auto& item : Selection->Items) doomed.push_back(item.Control);
    Selection->Clear();
    for (Control* c : doomed) delete c->Widget();
}

bool TFrmZorLedForm::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    Control* control = widget ? Control::Of(widget) : nullptr;
    if (!control || widget->parentWidget() != this) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            WidgetMouseDown(control, e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            WidgetMouseMove(control, e->buttons(), e->modifiers(), int(e->position().x()), int(e->position().y()));
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            WidgetMouseUp(control, e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
            return true;
        }
        case QEvent::MouseButtonDblClick:
            WidgetDblClick(control);
            return true;
        default:
            return false;
    }
}

void TFrmZorLedForm::mousePressEvent(QMouseEvent* e) {
    if (HandlerBound("OnMouseDown", "FormMouseDown"))
        FormMouseDown(e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
}

void TFrmZorLedForm::mouseMoveEvent(QMouseEvent* e) {
    if (HandlerBound("OnMouseMove", "FormMouseMove"))
        FormMouseMove(e->buttons(), e->modifiers(), int(e->position().x()), int(e->position().y()));
}

void TFrmZorLedForm::mouseReleaseEvent(QMouseEvent* e) {
    if (HandlerBound("OnMouseUp", "FormMouseUp"))
        FormMouseUp(e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
}

void TFrmZorLedForm::mouseDoubleClickEvent(QMouseEvent*) {
    if (HandlerBound("OnDblClick", "FormDblClick")) FormDblClick();
}

// The designer's mouse editing; a left press selects the widget under it.
void TFrmZorLedForm::FormMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    if (Selection) Selection->Clear();
}
void TFrmZorLedForm::FormMouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}
void TFrmZorLedForm::FormMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TFrmZorLedForm::FormDblClick() {
    if (Selection) Selection->Clear();
    if (ShowFormEdit) ShowFormEdit(*this);
}

void TFrmZorLedForm::WidgetMouseDown(Control* widget, Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y) {
    PressX = x;
    PressY = y;
    if (button == Qt::LeftButton && keys == Qt::NoModifier && Selection && Selection->IndexOf(widget) < 0) {
        Selection->Clear();
        Selection->Add(widget);
    }
}
void TFrmZorLedForm::WidgetMouseMove(Control*, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}
void TFrmZorLedForm::WidgetMouseUp(Control*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TFrmZorLedForm::WidgetDblClick(Control* widget) {
    if (Selection) Selection->Clear();
    if (auto* label = dynamic_cast<Tzorledlabel*>(widget)) {
        if (EditLabel) EditLabel(*label);
    } else if (auto* image = dynamic_cast<Tzorledimage*>(widget)) {
        if (EditImage) EditImage(*image);
    }
}

const ClassInfo& TFrmZorLedForm::StaticClass() {
    static const ClassInfo info{"TFrmZorLedForm", &TZorLedForm::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new TFrmZorLedForm(owner); }};
    return info;
}

TFrmZorLedForm* CreatePageWindow(const std::string& name) {
    auto* page = new TFrmZorLedForm(nullptr);
    page->SetName(name);
    page->SetCaption(Utf8ToGbk("ZorLED通用显示系统"));
    page->SetLeft(200);
    page->SetTop(16);
    page->SetHeight(281);
    page->SetWidth(297);
    page->SetVisible(true);
    return page;
}

void RegisterPageClasses() {
    RegisterClass(Tzorledlabel::StaticClass());
    RegisterClass(Tzorledimage::StaticClass());
    RegisterClass(TZorLedForm::StaticClass());
}

}  // namespace zl
