#include "page/selectcontrol.h"

#include <QMouseEvent>
#include <QPalette>

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

TGripPanel::TGripPanel(Tselectcontrolcla& selection, QWidget* page, int number)
    : QWidget(page), selection_(selection), number_(number) {
    setProperty("zlGrip", true);
    setAutoFillBackground(true);
    setFixedSize(kGripSize, kGripSize);
    setCursor(GripCursor(number));
    SetGripColor(clBlack);
    hide();
    raise();
}

void TGripPanel::SetGripColor(TColor color) {
    color_ = color;
    QPalette p = palette();
    p.setColor(QPalette::Window, ToQColor(color));
    setPalette(p);
}

void TGripPanel::mousePressEvent(QMouseEvent* e) try {
    e->accept();
    selection_.GripMouseDown(*this, int(e->position().x()), int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

void TGripPanel::mouseMoveEvent(QMouseEvent* e) try {
    e->accept();
    selection_.GripMouseMove(*this, e->buttons(), e->modifiers(), int(e->position().x()), int(e->position().y()));
} catch (...) {
    ReportCurrentError();
}

// Handled here so that nothing reaches the page behind the grip.
void TGripPanel::mouseReleaseEvent(QMouseEvent* e) try {
    e->accept();
    if (selection_.OnGripRelease) selection_.OnGripRelease();
} catch (...) {
    ReportCurrentError();
}
void TGripPanel::mouseDoubleClickEvent(QMouseEvent* e) { e->accept(); }

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
    TSelectControl item;
    item.Control = control;
    QWidget* page = control->Widget()->parentWidget();
    for (int n = 0; n < 8; ++n) item.Grips.push_back({new TGripPanel(*this, page, n), n});
    Items.push_back(std::move(item));
    Changed();
}

void Tselectcontrolcla::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    for (TGrip& g : Items[index].Grips) delete g.Grip.data();
    Items.erase(Items.begin() + index);
    Changed();
}

void Tselectcontrolcla::Clear() {
    const bool had = !Items.empty();
    for (TSelectControl& item : Items)
        for (TGrip& g : item.Grips) delete g.Grip.data();
    Items.clear();
    if (had) Changed();
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
        if (!g.Grip) continue;
        g.Grip->move(GripPlacement(control, g.Number));
        g.Grip->setVisible(single || IsCornerGrip(g.Number));
    }
}

void Tselectcontrolcla::SetGripColor(TColor color) {
    for (TSelectControl& item : Items)
        for (TGrip& g : item.Grips)
            if (g.Grip) g.Grip->SetGripColor(color);
}

void Tselectcontrolcla::GripMouseDown(TGripPanel&, int x, int y) {
    PressX = x;
    PressY = y;
    if (OnGripPress) OnGripPress();
}

void Tselectcontrolcla::SelectWidgets(const std::vector<Control*>& widgets) {
    Clear();
    for (Control* c : widgets)
        if (c && IndexOf(c) < 0) Add(c);
    for (int i = 0; i < Count(); ++i) LayoutGrips(*Items[i].Control, i, Count() == 1);
    SetGripColor(Count() > 1 ? clGray : clBlack);
}

std::vector<Control*> Tselectcontrolcla::Widgets() const {
    std::vector<Control*> out;
    for (const TSelectControl& item : Items) out.push_back(item.Control);
    return out;
}

void Tselectcontrolcla::GripMouseMove(TGripPanel& grip, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys,
                                      int x, int y) {
    if (Items.empty()) return;
    TSelectControl& first = Items.front();
    if (first.Grips.size() != 8 || !first.Grips[0].Grip) return;
    // Groups are moved, never resized.
    if (first.Grips[0].Grip->GripColor() == clGray) return;
    int moved = -1;
    for (const TGrip& g : first.Grips)
        if (g.Grip == &grip) moved = g.Number;
    if (moved < 0 || ClassifyShift(buttons, keys) != ShiftState::Left) return;

    QPoint pos[8];
    for (const TGrip& g : first.Grips) {
        if (!g.Grip) return;
        pos[g.Number] = g.Grip->pos();
    }
    QPoint& g = pos[moved];
    const int dx = x - PressX, dy = y - PressY;
    if (moved != 3 && moved != 4) g.rx() += dx;
    if (moved != 1 && moved != 6) g.ry() += dy;

    // A grip stops one pixel short of its opposite edge, so the widget keeps at least 1 x 1.
    static constexpr int kOppositeX[8] = {7, 6, 5, -1, -1, 2, 1, 0};
    static constexpr int kOppositeY[8] = {7, -1, 5, 4, 3, 2, -1, 0};
    const bool movesLeftEdge = moved <= 2, movesTopEdge = moved == 0 || moved == 3 || moved == 5;
    if (kOppositeX[moved] >= 0) {
        const int ref = pos[kOppositeX[moved]].x();
        g.setX(movesLeftEdge ? std::min(g.x(), ref - 1) : std::max(g.x(), ref + 1));
    }
    if (kOppositeY[moved] >= 0) {
        const int ref = pos[kOppositeY[moved]].y();
        g.setY(movesTopEdge ? std::min(g.y(), ref - 1) : std::max(g.y(), ref + 1));
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
    for (const TGrip& grip : first.Grips) grip.Grip->move(pos[grip.Number]);
}

}  // namespace zl
