#include "page/frmzorledform.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <unordered_map>

#include "core/codepage.h"
#include "qtbase/application.h"
#include "widgets/datarefresh.h"
#include "widgets/refreshing.h"
#include "widgets/zorledclock.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"
#include "widgets/zorledscrolltext.h"
#include "widgets/zorledzmd.h"

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

Control* NewClock(TFrmZorLedForm& page) {
    const int n = TakeNumber(page, wkClock, "myclock");
    auto* clock = new Tzorledclock(&page, &page);
    clock->SetBevelInner(bvNone);
    clock->SetBevelOuter(bvNone);
    clock->SetName("myclock" + std::to_string(n));
    clock->AutoSize = false;
    PlaceWidget(*clock, 20 * n + 30, 10 * n + 50, 200, 20);
    SetWidgetFont(clock->Font());
    ++g_counters[wkClock];
    return clock;
}

Control* NewMarquee(TFrmZorLedForm& page) {
    const int n = TakeNumber(page, wkMarquee, "myzmd");
    auto* marquee = new Tzorledzmd(&page, &page);
    marquee->SetName("myzmd" + std::to_string(n));
    marquee->SetColor(clBlack);
    marquee->SetRunningCaption(Utf8ToGbk("走马灯文字"));
    marquee->SetTextLayout(tlCenter);
    PlaceWidget(*marquee, 20 * n + 40, 10 * n + 70, 200, 20);
    SetWidgetFont(marquee->Font());
    marquee->SetContinuous(true);
    marquee->SetActive(true);
    ++g_counters[wkMarquee];
    return marquee;
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

Control* NewScrollText(TFrmZorLedForm& page) {
    const int n = TakeNumber(page, wkScrollText, "myscrolltext");
    auto* board = new TzorledScrollText(&page, &page);
    board->SetName("myscrolltext" + std::to_string(n));
    TScrollTextParam& text = board->Text();
    TSmoothEffect& effect = text.FontEffect();
    text.SetBackColor(clBlack);
    board->SetScrollQuality(tqHigh);
    board->Labels().Clear();
    board->Fonts().Clear();
    board->SetRepeatDelay(1);
    board->SetScrollDelay(300);
    board->SetScrollStep(1);
    text.SetQuality(TSmoothQuality::aqNone);
    text.SetLines({});
    text.SetFade(false);
    effect.SetBlur(0);
    effect.SetAlpha(100);
    effect.Shadow().SetBlur(0);
    effect.Shadow().SetAlpha(0);
    effect.Shadow().SetColor(clBlack);
    text.SetLines({Utf8ToGbk("led滚动文字"), Utf8ToGbk("滚动文字")});
    PlaceWidget(*board, 20 * n + 50, 10 * n + 90, 200, 120);
    SetWidgetFont(text.Font());
    board->SetActive(true);
    ++g_counters[wkScrollText];
    return board;
}

}  // namespace

int WidgetCounter(int kind) { return g_counters[kind & 7]; }

std::string NewWidgetName(TFrmZorLedForm& page, const std::string& className) {
    static const std::pair<const char*, std::pair<int, const char*>> kinds[] = {
        {"Tzorledlabel", {wkLabel, "mylabel"}},       {"Tzorledimage", {wkImage, "myzorledIMAGE"}},
        {"Tzorledzmd", {wkMarquee, "myzmd"}},         {"Tzorledclock", {wkClock, "myclock"}},
        {"TzorledScrollText", {wkScrollText, "myscrolltext"}}};
    for (const auto& [name, kind] : kinds)
        if (className == name) {
            const int n = TakeNumber(page, kind.first, kind.second);
            ++g_counters[kind.first];
            return kind.second + std::to_string(n);
        }
    // A class the factory does not make: its name without the T, numbered from 1.
    std::string prefix = className.size() > 1 && (className[0] == 'T' || className[0] == 't') ? className.substr(1) : className;
    for (int n = 1;; ++n)
        if (!page.FindComponent(prefix + std::to_string(n))) return prefix + std::to_string(n);
}

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
        BindEvent(event, handler);
    FormCreate();
}

TFrmZorLedForm::~TFrmZorLedForm() {
    // No word of the selection reaches anyone from a page going away.
    if (Selection) Selection->OnChange = nullptr;
    if (HandlerBound("OnDestroy", "FormDestroy")) FormDestroy();
    else Selection.reset();
}

const std::vector<std::string>& TFrmZorLedForm::PublishedHandlers() const {
    static const std::vector<std::string> handlers = {"FormMouseDown", "FormMouseMove", "FormMouseUp",
                                                      "FormCreate", "FormDestroy", "FormDblClick"};
    return handlers;
}

bool TFrmZorLedForm::HandlerBound(const char* event, const char* handler) const {
    return EventHandler(event) == handler;
}

void TFrmZorLedForm::FormCreate() {
    // Also run again from a widget's event bound to it: the old designer state goes first.
    if (Selection) Selection->Clear();
    delete BandCanvas;
    BandCanvas = new TBandCanvas(this);
    Selection = std::make_unique<Tselectcontrolcla>();
    BandActive = false;
    if (!History) History = std::make_unique<TPageHistory>(*this);
    Selection->OnGripPress = [this] { dragBefore_ = History->Take(Selection->Widgets()); };
    Selection->OnGripRelease = [this] { FinishDrag(QString::fromUtf8("调整大小")); };
    Selection->OnChange = [this] { emit SelectionChanged(); };
}

void TFrmZorLedForm::FormDestroy() {
    delete BandCanvas;
    BandCanvas = nullptr;
    if (Selection) Selection->OnChange = nullptr;
    if (Selection) Selection->Clear();
    Selection.reset();
}

Control* TFrmZorLedForm::CreateWidget(int kind) {
    Control* widget = nullptr;
    switch (kind & 0x7F) {
        case wkLabel: widget = NewLabel(*this); break;
        case wkImage: widget = NewImage(*this); break;
        case wkMarquee: widget = NewMarquee(*this); break;
        case wkClock: widget = NewClock(*this); break;
        case wkScrollText: widget = NewScrollText(*this); break;
        default: break;
    }
    if (widget) {
        widget->Widget()->show();
        Restack();
        HookWidget(widget);
        History->Record(QString::fromUtf8("新增部件"), {}, History->Take({widget}));
    }
    return widget;
}

std::vector<Control*> TFrmZorLedForm::ControlsIn(const QWidget* container) const {
    std::vector<Control*> drawn, windowed;
    for (Component* c : Components()) {
        auto* control = dynamic_cast<Control*>(c);
        if (!control || control->Widget()->parentWidget() != container) continue;
        (control->IsWindowed() ? windowed : drawn).push_back(control);
    }
    drawn.insert(drawn.end(), windowed.begin(), windowed.end());
    return drawn;
}

std::vector<Control*> TFrmZorLedForm::AllWidgets() const {
    // One pass over the owned components, then a walk down from the page in control order.
    std::unordered_map<const QWidget*, std::vector<Control*>> drawn, windowed;
    for (Component* c : Components())
        if (auto* control = dynamic_cast<Control*>(c))
            (control->IsWindowed() ? windowed : drawn)[control->Widget()->parentWidget()].push_back(control);
    std::vector<Control*> out;
    auto walk = [&](auto& self, const QWidget* container) -> void {
        for (auto* group : {&drawn, &windowed}) {
            const auto it = group->find(container);
            if (it == group->end()) continue;
            for (Control* c : it->second) {
                out.push_back(c);
                if (c->IsWindowed()) self(self, c->Widget());
            }
        }
    };
    walk(walk, this);
    return out;
}

void TFrmZorLedForm::Restack() {
    std::unordered_map<QWidget*, std::vector<Control*>> containers;
    for (Control* c : AllWidgets()) containers[c->Widget()->parentWidget()].push_back(c);
    containers.try_emplace(this);
    for (auto& [container, controls] : containers) {
        std::stable_partition(controls.begin(), controls.end(), [](Control* c) { return !c->IsWindowed(); });
        RestackIn(container, controls);
    }
}

void TFrmZorLedForm::RestackIn(QWidget* container, const std::vector<Control*>& controls) {
    // Raising costs a walk over the siblings: only when the stacking is not right already, and
    // then only the windowed widgets, as drawn ones keep their creation order by themselves.
    std::vector<QWidget*> stacked;
    for (QObject* child : container->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && Control::Of(w) && Control::Of(w)->Owner() == this)
            stacked.push_back(w);
    bool inOrder = stacked.size() == controls.size();
    for (size_t i = 0; inOrder && i < controls.size(); ++i) inOrder = stacked[i] == controls[i]->Widget();
    if (!inOrder)
        for (Control* c : controls)
            if (c->IsWindowed()) c->Widget()->raise();
    for (QObject* child : container->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->property("zlGrip").toBool()) w->raise();
}

void TFrmZorLedForm::HookWidget(Control* widget) {
    // The designer's routing replaces whatever the page file bound to these four events.
    for (const char* event : {"OnMouseDown", "OnMouseMove", "OnMouseUp", "OnDblClick"}) widget->BindEvent(event, {});
    // Installing the same filter again replaces it, so a reload never routes events twice.
    widget->Widget()->installEventFilter(this);
}

void TFrmZorLedForm::HookAllWidgets() {
    for (Control* c : AllWidgets()) HookWidget(c);
}

void TFrmZorLedForm::CallHandler(const std::string& handler, Control*) {
    // The mouse handlers need a button and a position that these events do not carry.
    if (handler == "FormDblClick") FormDblClick();
    else if (handler == "FormCreate") FormCreate();
    else if (handler == "FormDestroy") FormDestroy();
}

void TFrmZorLedForm::StartWidgets() {
    for (Control* c : AllWidgets())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c)) r->StartRefresh();
}

void TFrmZorLedForm::StopWidgets() {
    for (Control* c : AllWidgets())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c)) r->StopRefresh();
}

bool TFrmZorLedForm::WidgetsIdle() const {
    for (Control* c : AllWidgets())
        if (auto* r = dynamic_cast<RefreshingWidget*>(c); r && !r->RefreshIdle()) return false;
    return true;
}

void TFrmZorLedForm::PrepareFirstFrame() {
    for (Control* c : AllWidgets())
        if (auto* board = dynamic_cast<TSmoothScrollText*>(c)) board->Draw();
}

void TFrmZorLedForm::DeleteSelected() {
    if (!Selection || Selection->Count() == 0) return;
    // A clock goes with the widgets it holds, which may be selected too.
    std::vector<QPointer<QWidget>> doomed;
    for (const auto& item : Selection->Items) doomed.emplace_back(item.Control->Widget());
    PageState before = History->Take(Selection->Widgets());
    Selection->Clear();
    for (const auto& w : doomed) delete w.data();
    History->Record(QString::fromUtf8("删除部件"), std::move(before), {});
}

void TFrmZorLedForm::MoveSelected(int dx, int dy) {
    if (!Selection || Selection->Count() == 0) return;
    PageState before = History->Take(Selection->Widgets());
    for (const TSelectControl& item : Selection->Items)
        item.Control->SetBounds(item.Control->Left() + dx, item.Control->Top() + dy, item.Control->Width(),
                                item.Control->Height());
    LayoutAllGrips();
    History->Record(QString::fromUtf8("移动部件"), before, History->Again(before));
}

void TFrmZorLedForm::SelectAll() {
    if (!Selection) return;
    // A band over the whole page: the widgets placed on the page itself.
    Selection->SelectWidgets(ControlsIn(this));
}

void TFrmZorLedForm::FinishDrag(const QString& caption) {
    if (!dragBefore_) return;
    PageState before = std::move(*dragBefore_);
    dragBefore_.reset();
    History->Record(caption, before, History->Again(before));
}

bool TFrmZorLedForm::eventFilter(QObject* watched, QEvent* event) try {
    auto* widget = qobject_cast<QWidget*>(watched);
    Control* control = widget ? Control::Of(widget) : nullptr;
    if (!control || control->Owner() != this) return false;
    // Events the page file bound to a handler of the page class run beside the designer.
    const QPointer<QWidget> alive(widget);
    switch (event->type()) {
        case QEvent::Enter: CallHandler(control->EventHandler("OnMouseEnter"), control); return false;
        case QEvent::Leave: CallHandler(control->EventHandler("OnMouseLeave"), control); return false;
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton && widget->rect().contains(e->position().toPoint()))
                CallHandler(control->EventHandler("OnClick"), control);
            if (!alive) return true;
            break;
        }
        default: break;
    }
    // A bound FormDestroy may have taken the designer away; the page then only shows.
    if (!Selection) return false;
    if (auto* e = dynamic_cast<QMouseEvent*>(event); e && CatchGreyGrip(*e, widget->mapTo(this, e->position().toPoint())))
        return true;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            const bool twice = event->type() == QEvent::MouseButtonDblClick;
            // A double-click opens the dialog first; its press then matches no editing state.
            if (twice) WidgetDblClick(control);
            if (alive)
                WidgetMouseDown(control, e->button(), {e->buttons(), e->modifiers(), twice},
                                int(e->position().x()), int(e->position().y()));
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            WidgetMouseMove(control, {e->buttons(), e->modifiers()}, int(e->position().x()), int(e->position().y()));
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            WidgetMouseUp(control, e->button(), {e->buttons(), e->modifiers()}, int(e->position().x()),
                          int(e->position().y()));
            return true;
        }
        default:
            return false;
    }
} catch (...) {
    ReportCurrentError();
    return true;
}

void TFrmZorLedForm::mousePressEvent(QMouseEvent* e) try {
    if (!Selection) return;
    if (CatchGreyGrip(*e, e->position().toPoint())) return;
    if (HandlerBound("OnMouseDown", "FormMouseDown"))
        FormMouseDown(e->button(), {e->buttons(), e->modifiers()}, int(e->position().x()), int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

void TFrmZorLedForm::mouseMoveEvent(QMouseEvent* e) try {
    if (!Selection) return;
    if (CatchGreyGrip(*e, e->position().toPoint())) return;
    if (HandlerBound("OnMouseMove", "FormMouseMove"))
        FormMouseMove({e->buttons(), e->modifiers()}, int(e->position().x()), int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

void TFrmZorLedForm::mouseReleaseEvent(QMouseEvent* e) try {
    if (!Selection) return;
    if (CatchGreyGrip(*e, e->position().toPoint())) return;
    if (HandlerBound("OnMouseUp", "FormMouseUp"))
        FormMouseUp(e->button(), {e->buttons(), e->modifiers()}, int(e->position().x()), int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

void TFrmZorLedForm::mouseDoubleClickEvent(QMouseEvent* e) try {
    if (!Selection) return;
    if (CatchGreyGrip(*e, e->position().toPoint())) return;
    if (HandlerBound("OnDblClick", "FormDblClick")) FormDblClick();
    if (HandlerBound("OnMouseDown", "FormMouseDown"))
        FormMouseDown(e->button(), {e->buttons(), e->modifiers(), true}, int(e->position().x()),
                      int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

void TFrmZorLedForm::OperatorMoving() {
    if (History) beforeMove_ = History->TakePage();
}

void TFrmZorLedForm::OperatorMoved() {
    if (!History) return;
    History->RecordPageMove(std::move(beforeMove_), History->TakePage());
    beforeMove_.clear();
    Changed();
}

bool TFrmZorLedForm::CatchGreyGrip(const QMouseEvent& e, QPoint pagePoint) {
    // Past a handful of selected widgets the grip sheet lets the mouse through; a press on one of
    // its grey grips still belongs to the grip, which resizes nothing, until the release.
    if (e.type() == QEvent::MouseButtonPress || e.type() == QEvent::MouseButtonDblClick) {
        const TGripOverlay* overlay = Selection->Overlay();
        greyGripHeld_ = overlay && overlay->testAttribute(Qt::WA_TransparentForMouseEvents) &&
                        Selection->GripAt(pagePoint).has_value();
        return greyGripHeld_;
    }
    if (!greyGripHeld_) return false;
    if (e.type() == QEvent::MouseButtonRelease) greyGripHeld_ = false;
    return e.type() == QEvent::MouseButtonRelease || e.type() == QEvent::MouseMove;
}

TBandCanvas::TBandCanvas(QWidget* page) : QWidget(page) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void TBandCanvas::DrawBand(QPoint from, QPoint to) {
    if (shown_) update(shown_->adjusted(-1, -1, 1, 1));
    shown_ = QRect(from, to).normalized();
    setGeometry(parentWidget()->rect());
    raise();
    show();
    update(shown_->adjusted(-1, -1, 1, 1));
}

void TBandCanvas::EraseBand() {
    if (!shown_) return;
    update(shown_->adjusted(-1, -1, 1, 1));
    shown_.reset();
}

void TBandCanvas::paintEvent(QPaintEvent*) try {
    if (!shown_) return;
    QPainter painter(this);
    // Black under NOT-XOR inverts what lies beneath, so the band shows on any colour.
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(shown_->adjusted(0, 0, -1, -1));
} catch (...) {
    ReportCurrentError();
}

void TFrmZorLedForm::DrawBand() {
    if (BandCanvas)
        BandCanvas->DrawBand({BandX1 - kFrameLeft, BandY1 - kFrameTop}, {BandX2 - kFrameLeft, BandY2 - kFrameTop});
}

void TFrmZorLedForm::EraseBand() {
    if (BandCanvas) BandCanvas->EraseBand();
}

void TFrmZorLedForm::NormaliseBand() {
    if (BandX2 < BandX1) std::swap(BandX1, BandX2);
    if (BandY2 < BandY1) std::swap(BandY1, BandY2);
}

void TFrmZorLedForm::LayoutAllGrips() {
    const int count = Selection->Count();
    for (int i = 0; i < count; ++i) Selection->LayoutGrips(*Selection->Items[i].Control, i, count == 1);
}

void TFrmZorLedForm::SelectInBand(int x1, int y1, int x2, int y2, QWidget* container) {
    std::vector<Control*> met = Selection->Widgets();
    for (Component* c : Components()) {
        auto* control = dynamic_cast<Control*>(c);
        if (!control || control->Widget()->parentWidget() != container) continue;
        const int left = control->Left() + kFrameLeft, top = control->Top() + kFrameTop;
        const int right = left + control->Width(), bottom = top + control->Height();
        if (left <= x2 && right >= x1 && top <= y2 && bottom >= y1) met.push_back(control);
    }
    // One selection change for the whole band, however many widgets it meets.
    Selection->SelectWidgets(met);
}

void TFrmZorLedForm::FormMouseDown(Qt::MouseButton, MouseShift shift, int x, int y) {
    Selection->Clear();
    const ShiftState state = shift.State();
    if (state == ShiftState::Left || state == ShiftState::CtrlLeft) {
        BandActive = true;
        BandX1 = BandX2 = x + kFrameLeft;
        BandY1 = BandY2 = y + kFrameTop;
    }
}

void TFrmZorLedForm::FormMouseMove(MouseShift shift, int x, int y) {
    const ShiftState state = shift.State();
    if (!BandActive || (state != ShiftState::Left && state != ShiftState::CtrlLeft)) return;
    EraseBand();
    BandX2 = x + kFrameLeft;
    BandY2 = y + kFrameTop;
    DrawBand();
}

void TFrmZorLedForm::FormMouseUp(Qt::MouseButton, MouseShift, int, int) {
    if (!BandActive) return;
    EraseBand();
    BandActive = false;
    NormaliseBand();
    SelectInBand(BandX1, BandY1, BandX2, BandY2, this);
}

void TFrmZorLedForm::FormDblClick() {
    Selection->Clear();
    if (!ShowFormEdit) return;
    // The page dialog's whole session is one step too, set back through the page's setters.
    PropertyValues before = History ? History->TakePage() : PropertyValues{};
    ShowFormEdit(*this);
    if (History) History->RecordPage(QString::fromUtf8("页面属性"), std::move(before), History->TakePage());
}

void TFrmZorLedForm::WidgetMouseDown(Control* widget, Qt::MouseButton, MouseShift shift, int x, int y) {
    PressX = x;
    PressY = y;
    switch (shift.State()) {
        case ShiftState::ShiftLeft: {
            const int index = Selection->IndexOf(widget);
            if (index < 0) {
                if (Selection->Count() > 0 &&
                    Selection->Items[0].Control->Widget()->parentWidget() != widget->Widget()->parentWidget())
                    Selection->Clear();
                Selection->Add(widget);
            } else {
                Selection->Remove(index);
            }
            Selection->SetGripColor(Selection->Count() >= 2 ? clGray : clBlack);
            break;
        }
        case ShiftState::Left:
            // An already selected widget keeps the whole selection, so the drag moves the group.
            if (Selection->IndexOf(widget) < 0) {
                Selection->Clear();
                Selection->Add(widget);
            }
            dragBefore_ = History->Take(Selection->Widgets());
            break;
        case ShiftState::CtrlLeft:
            Selection->Clear();
            BandActive = true;
            BandX1 = BandX2 = widget->Left() + x + kFrameLeft;
            BandY1 = BandY2 = widget->Top() + y + kFrameTop;
            Selection->Add(widget);
            break;
        case ShiftState::None:
            break;
    }
}

void TFrmZorLedForm::WidgetMouseMove(Control* widget, MouseShift shift, int x, int y) {
    const ShiftState state = shift.State();
    if (state == ShiftState::Left) {
        // The widget under the button moves along, so the press point stays under the cursor.
        const int dx = x - PressX, dy = y - PressY;
        for (const TSelectControl& item : Selection->Items)
            item.Control->SetBounds(item.Control->Left() + dx, item.Control->Top() + dy, item.Control->Width(),
                                    item.Control->Height());
        if (Selection->Count() > 0 && Selection->Items[0].Grips[0].Shown) {
            for (TSelectControl& item : Selection->Items)
                for (TGrip& g : item.Grips) g.Shown = false;
            if (Selection->Overlay()) Selection->Overlay()->Refresh();
        }
    }
    if (BandActive && state == ShiftState::CtrlLeft) {
        EraseBand();
        BandX2 = widget->Left() + x + kFrameLeft;
        BandY2 = widget->Top() + y + kFrameTop;
        DrawBand();
    }
}

void TFrmZorLedForm::WidgetMouseUp(Control* widget, Qt::MouseButton, MouseShift, int, int) {
    FinishDrag(QString::fromUtf8("移动部件"));
    if (BandActive) {
        BandActive = false;
        EraseBand();
        NormaliseBand();
        SelectInBand(BandX1, BandY1, BandX2, BandY2, widget->Widget()->parentWidget());
    }
    LayoutAllGrips();
}

void TFrmZorLedForm::WidgetDblClick(Control* widget) {
    Selection->Clear();
    dragBefore_.reset();
    // The dialog's whole session is one step, whatever it set.
    struct Session {
        TPageHistory& history;
        ~Session() {
            try {
                history.End();
            } catch (...) {
                ReportCurrentError();
            }
        }
    } session{*History};
    History->Begin({widget}, QString::fromUtf8("部件属性"));
    if (auto* label = dynamic_cast<Tzorledlabel*>(widget)) {
        if (EditLabel) EditLabel(*label);
    } else if (auto* image = dynamic_cast<Tzorledimage*>(widget)) {
        if (EditImage) EditImage(*image);
    } else if (auto* clock = dynamic_cast<Tzorledclock*>(widget)) {
        if (EditClock) EditClock(*clock);
    } else if (auto* board = dynamic_cast<TzorledScrollText*>(widget)) {
        if (EditScrollText) EditScrollText(*board);
    } else if (auto* marquee = dynamic_cast<Tzorledzmd*>(widget)) {
        if (EditZmd) EditZmd(*marquee);
    }
}

const ClassInfo& TFrmZorLedForm::StaticClass() {
    static const ClassInfo info{"TFrmZorLedForm", &TZorLedForm::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new TFrmZorLedForm(owner); }};
    return info;
}

TFrmZorLedForm* CreatePageWindow(const std::string& name, bool shown) {
    auto* page = new TFrmZorLedForm(nullptr);
    page->SetName(name);
    page->SetCaption(Utf8ToGbk("ZorLED通用显示系统"));
    page->SetLeft(200);
    page->SetTop(16);
    page->SetHeight(281);
    page->SetWidth(297);
    if (shown) page->SetVisible(true);
    return page;
}

void RegisterPageClasses() {
    RegisterClass(Tzorledlabel::StaticClass());
    RegisterClass(TzorledScrollText::StaticClass());
    RegisterClass(Tzorledclock::StaticClass());
    RegisterClass(Tzorledzmd::StaticClass());
    RegisterClass(Tzorledimage::StaticClass());
    RegisterClass(TZorLedForm::StaticClass());
    RegisterClass(Tdatarefresh::StaticClass());
    RegisterClass(Tzorzmd::StaticClass());
    RegisterClass(TzorScrollText::StaticClass());
}

}  // namespace zl
