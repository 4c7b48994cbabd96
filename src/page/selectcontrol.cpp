#include "page/selectcontrol.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <unordered_set>

#include "qtbase/application.h"
#include "widgets/paint.h"

namespace zl {
namespace {

constexpr int kHalfGrip = kGripSize / 2;

Qt::CursorShape GripCursor(int number) {
    switch (number) {
        case 0: case 7: return Qt::SizeFDiagCursor;  // north-west to south-east
        case 2: case 5: return Qt::SizeBDiagCursor;  // north-east to south-west
        case 1: case 6: return Qt::SizeHorCursor;
        default: return Qt::SizeVerCursor;
    }
}

bool IsCornerGrip(int number) { return number == 0 || number == 2 || number == 5 || number == 7; }

}  // namespace

int HalfToEven(int value) {
    const int half = value / 2;
    if (value % 2 == 0) return half;
    const int other = value > 0 ? half + 1 : half - 1;
    return half % 2 == 0 ? half : other;
}

ShiftState ClassifyShift(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, bool doubleClick) {
    if (doubleClick || buttons != Qt::LeftButton) return ShiftState::None;
    keys &= Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (keys == Qt::NoModifier) return ShiftState::Left;
    if (keys == Qt::ShiftModifier) return ShiftState::ShiftLeft;
    if (keys == Qt::ControlModifier) return ShiftState::CtrlLeft;
    return ShiftState::None;
}

// Up to this many selected widgets the sheet takes the grips' mouse input itself, through a
// mask of their squares; past it, building the mask costs more than the page's own check.
constexpr int kMaskedItems = 8;

TGripOverlay::TGripOverlay(Tselectcontrolcla& selection, QWidget* page)
    : QWidget(page), selection_(selection) {
    setProperty("zlGrip", true);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    hide();
}

void TGripOverlay::Refresh() {
    QWidget* page = parentWidget();
    if (selection_.Count() == 0) {
        dragged_ = -1;
        if (!isHidden()) hide();
        return;
    }
    if (geometry() != page->rect()) setGeometry(page->rect());
    if (page->children().constLast() != this) raise();
    if (selection_.Count() <= kMaskedItems) {
        QRegion mask;
        for (const TSelectControl& item : selection_.Items)
            for (const TGrip& g : item.Grips)
                if (g.Shown) mask += selection_.DrawnRect(item, g).adjusted(-1, -1, 1, 1);
        setAttribute(Qt::WA_TransparentForMouseEvents, mask.isEmpty());
        // An empty mask would mean no mask: the sheet then only paints, and nothing shown.
        setMask(mask.isEmpty() ? QRegion(0, 0, 1, 1) : mask);
    } else {
        setAttribute(Qt::WA_TransparentForMouseEvents, true);
        clearMask();
    }
    if (isHidden()) show();
    update();
}

void TGripOverlay::paintEvent(QPaintEvent* event) try {
    QPainter painter(this);
    const QRect area = event->rect();
    const QColor fill = ToQColor(selection_.GripColor());
    for (const TSelectControl& item : selection_.Items)
        for (const TGrip& g : item.Grips) {
            if (!g.Shown) continue;
            const QRect r = selection_.DrawnRect(item, g);
            if (!r.adjusted(-1, -1, 1, 1).intersects(area)) continue;
            // A white rim keeps a black grip visible on the black boards new widgets are.
            painter.fillRect(r.adjusted(-1, -1, 1, 1), Qt::white);
            painter.fillRect(r, fill);
        }
} catch (...) {
    ReportCurrentError();
}

void TGripOverlay::mousePressEvent(QMouseEvent* e) try {
    e->accept();
    const auto hit = selection_.GripAt(e->position().toPoint());
    if (!hit) return;
    dragged_ = hit->second;
    selection_.GripMouseDown(dragged_, e->position().toPoint());
} catch (...) {
    ReportCurrentError();
}

void TGripOverlay::mouseMoveEvent(QMouseEvent* e) try {
    e->accept();
    if (dragged_ < 0) {
        const auto hit = selection_.GripAt(e->position().toPoint());
        if (hit) setCursor(GripCursor(hit->second));
        else unsetCursor();
        return;
    }
    selection_.GripMouseMove(dragged_, e->buttons(), e->modifiers(), e->position().toPoint());
} catch (...) {
    ReportCurrentError();
}

// Handled here so that nothing reaches the page behind the grip.
void TGripOverlay::mouseReleaseEvent(QMouseEvent* e) try {
    e->accept();
    if (dragged_ < 0) return;
    dragged_ = -1;
    if (selection_.OnGripRelease) selection_.OnGripRelease();
} catch (...) {
    ReportCurrentError();
}
void TGripOverlay::mouseDoubleClickEvent(QMouseEvent* e) { e->accept(); }

Tselectcontrolcla::~Tselectcontrolcla() {
    Items.clear();
    delete overlay_.data();
}

std::optional<TSelectControl> Tselectcontrolcla::Item(int index) const {
    if (index < 0 || index >= Count()) return std::nullopt;
    return Items[index];
}

int Tselectcontrolcla::IndexOf(const Control* control) const {
    for (int i = 0; i < Count(); ++i)
        if (Items[i].Control == control) return i;
    return -1;
}

void Tselectcontrolcla::Add(Control* control) {
    if (!overlay_) overlay_ = new TGripOverlay(*this, control->Widget()->window());
    TSelectControl item;
    item.Control = control;
    for (int n = 0; n < 8; ++n) item.Grips[n].Number = n;
    Items.push_back(item);
    Repaint();
    Changed();
}

void Tselectcontrolcla::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    Items.erase(Items.begin() + index);
    Repaint();
    Changed();
}

void Tselectcontrolcla::Clear() {
    const bool had = !Items.empty();
    Items.clear();
    // A new selection starts with black grips, as a lone widget's are.
    color_ = clBlack;
    Repaint();
    if (had) Changed();
}

QPoint Tselectcontrolcla::ContainerOffset(const Control& control) const {
    QWidget* container = control.Widget()->parentWidget();
    if (!overlay_ || !container || container == overlay_->parentWidget()) return {};
    return container->mapTo(overlay_->parentWidget(), QPoint());
}

QRect Tselectcontrolcla::DrawnRect(const TSelectControl& item, const TGrip& grip) const {
    QRect r(grip.Pos + ContainerOffset(*item.Control), QSize(kGripSize, kGripSize));
    if (!overlay_) return r;
    // Half a grip past the page's edge would hide it: the grip is drawn just inside.
    const QSize page = overlay_->parentWidget()->size();
    if (r.right() > page.width() - 2) r.moveRight(page.width() - 2);
    if (r.bottom() > page.height() - 2) r.moveBottom(page.height() - 2);
    if (r.left() < 1) r.moveLeft(1);
    if (r.top() < 1) r.moveTop(1);
    return r;
}

std::optional<std::pair<int, int>> Tselectcontrolcla::GripAt(QPoint pagePoint) const {
    for (int i = Count() - 1; i >= 0; --i)
        for (int n = 7; n >= 0; --n) {
            const TGrip& g = Items[i].Grips[n];
            if (g.Shown && DrawnRect(Items[i], g).adjusted(-1, -1, 1, 1).contains(pagePoint))
                return std::make_pair(i, n);
        }
    return std::nullopt;
}

QPoint Tselectcontrolcla::GripPlacement(const Control& control, int grip) {
    const int l = control.Left(), t = control.Top(), w = control.Width(), h = control.Height();
    const int hw = HalfToEven(w), hh = HalfToEven(h);
    static constexpr int kColumn[8] = {0, 0, 0, 1, 1, 2, 2, 2};  // left, middle, right
    static constexpr int kRow[8] = {0, 1, 2, 0, 2, 0, 1, 2};     // top, middle, bottom
    const int xs[3] = {l, l + hw, l + w};
    const int ys[3] = {t, t + hh, t + h};
    return {xs[kColumn[grip & 7]] - kHalfGrip, ys[kRow[grip & 7]] - kHalfGrip};
}

void Tselectcontrolcla::LayoutGrips(const Control& control, int index, bool single) {
    if (index < 0 || index >= Count()) return;
    for (TGrip& g : Items[index].Grips) {
        g.Pos = GripPlacement(control, g.Number);
        g.Shown = single || IsCornerGrip(g.Number);
    }
    Repaint();
}

void Tselectcontrolcla::SetGripColor(TColor color) {
    color_ = color;
    Repaint();
}

void Tselectcontrolcla::GripMouseDown(int grip, QPoint pagePoint) {
    if (!Items.empty()) pressOffset_ = pagePoint - ContainerOffset(*Items.front().Control) - Items.front().Grips[grip & 7].Pos;
    if (OnGripPress) OnGripPress();
}

void Tselectcontrolcla::SelectWidgets(const std::vector<Control*>& widgets) {
    const bool had = !Items.empty();
    Items.clear();
    // One pass: each widget once, its grips laid out, one repaint and one word of the change.
    std::unordered_set<Control*> seen;
    Items.reserve(widgets.size());
    for (Control* c : widgets)
        if (c && seen.insert(c).second) {
            if (!overlay_) overlay_ = new TGripOverlay(*this, c->Widget()->window());
            TSelectControl item;
            item.Control = c;
            for (int n = 0; n < 8; ++n) {
                item.Grips[n].Number = n;
                item.Grips[n].Pos = GripPlacement(*c, n);
                item.Grips[n].Shown = widgets.size() == 1 || IsCornerGrip(n);
            }
            Items.push_back(item);
        }
    if (Count() == 1)
        for (TGrip& g : Items[0].Grips) g.Shown = true;
    color_ = Count() > 1 ? clGray : clBlack;
    Repaint();
    if (had || !Items.empty()) Changed();
}

std::vector<Control*> Tselectcontrolcla::Widgets() const {
    std::vector<Control*> out;
    for (const TSelectControl& item : Items) out.push_back(item.Control);
    return out;
}

void Tselectcontrolcla::GripMouseMove(int grip, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys,
                                      QPoint pagePoint) {
    if (Items.empty()) return;
    TSelectControl& first = Items.front();
    // Groups are moved, never resized.
    if (color_ == clGray) return;
    const int moved = grip;
    if (moved < 0 || moved > 7 || ClassifyShift(buttons, keys) != ShiftState::Left) return;

    QPoint pos[8];
    for (const TGrip& g : first.Grips) pos[g.Number] = g.Pos;
    QPoint& g = pos[moved];
    // The grip follows the cursor, keeping the pressed point under it.
    const QPoint target = pagePoint - ContainerOffset(*first.Control) - pressOffset_;
    if (moved != 3 && moved != 4) g.setX(target.x());
    if (moved != 1 && moved != 6) g.setY(target.y());

    // A grip stops short of its opposite edge, so the widget keeps a size whose grips can be caught.
    static constexpr int kOppositeX[8] = {7, 6, 5, -1, -1, 2, 1, 0};
    static constexpr int kOppositeY[8] = {7, -1, 5, 4, 3, 2, -1, 0};
    const bool movesLeftEdge = moved <= 2, movesTopEdge = moved == 0 || moved == 3 || moved == 5;
    if (kOppositeX[moved] >= 0) {
        const int ref = pos[kOppositeX[moved]].x();
        g.setX(movesLeftEdge ? std::min(g.x(), ref - kMinGripSpan) : std::max(g.x(), ref + kMinGripSpan));
    }
    if (kOppositeY[moved] >= 0) {
        const int ref = pos[kOppositeY[moved]].y();
        g.setY(movesTopEdge ? std::min(g.y(), ref - kMinGripSpan) : std::max(g.y(), ref + kMinGripSpan));
    }

    Control& control = *first.Control;
    int left = control.Left(), top = control.Top(), width = control.Width(), height = control.Height();
    switch (moved) {
        case 0: left = g.x() + 3; top = g.y() + 3; width = pos[7].x() - g.x(); height = pos[7].y() - g.y(); break;
        case 1: left = g.x() + 3; width = pos[6].x() - g.x(); break;
        case 2: left = g.x() + 3; width = pos[5].x() - g.x(); height = g.y() - pos[5].y(); break;
        case 3: top = g.y() + 3; height = pos[4].y() - g.y(); break;
        case 4: height = g.y() - pos[3].y(); break;
        case 5: top = g.y() + 3; width = g.x() - pos[2].x(); height = pos[2].y() - g.y(); break;
        case 6: width = g.x() - pos[1].x(); break;
        case 7: width = g.x() - pos[0].x(); height = g.y() - pos[0].y(); break;
    }
    control.SetBounds(left, top, width, height);
    const int hw = HalfToEven(width), hh = HalfToEven(height);
    switch (moved) {
        case 0:
            pos[1] = {g.x(), g.y() + hh}; pos[2].setX(g.x()); pos[3] = {g.x() + hw, g.y()};
            pos[4].setX(pos[3].x()); pos[5].setY(g.y()); pos[6].setY(pos[1].y());
            break;
        case 1:
            pos[0].setX(g.x()); pos[2].setX(g.x()); pos[3].setX(g.x() + hw); pos[4].setX(g.x() + hw);
            break;
        case 2:
            pos[0].setX(g.x()); pos[1] = {g.x(), g.y() - hh}; pos[3].setX(g.x() + hw);
            pos[4] = {pos[3].x(), g.y()}; pos[6].setY(pos[1].y()); pos[7].setY(g.y());
            break;
        case 3:
            pos[0].setY(g.y()); pos[1].setY(g.y() + hh); pos[5].setY(g.y()); pos[6].setY(pos[1].y());
            break;
        case 4:
            pos[1].setY(g.y() - hh); pos[2].setY(g.y()); pos[6].setY(pos[1].y()); pos[7].setY(g.y());
            break;
        case 5:
            pos[0].setY(g.y()); pos[1].setY(g.y() + hh); pos[3] = {g.x() - hw, g.y()};
            pos[4].setX(pos[3].x()); pos[6] = {g.x(), g.y() + hh}; pos[7].setX(g.x());
            break;
        case 6:
            pos[3].setX(g.x() - hw); pos[4].setX(g.x() - hw); pos[5].setX(g.x()); pos[7].setX(g.x());
            break;
        case 7:
            pos[1].setY(g.y() - hh); pos[2].setY(g.y()); pos[3].setX(g.x() - hw);
            pos[4] = {pos[3].x(), g.y()}; pos[5].setX(g.x()); pos[6] = {g.x(), pos[1].y()};
            break;
    }
    for (TGrip& each : first.Grips) each.Pos = pos[each.Number];
    Repaint();
}

}  // namespace zl
