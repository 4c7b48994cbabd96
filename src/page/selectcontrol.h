#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <array>
#include <optional>
#include <vector>

#include "qtbase/control.h"

namespace zl {

class Tselectcontrolcla;

constexpr int kGripSize = 6;
// The least width and height a grip leaves a widget: its three grips on a side stand apart, so
// each can still be caught.
constexpr int kMinGripSpan = 2 * kGripSize;

// One sheet above every widget of the page that draws the whole selection's grips and takes
// their mouse input. A widget per grip would make Qt paint and route through hundreds of
// thousands of siblings, recursively, once thousands of widgets are selected. It belongs to the
// selection alone, so it is never a component of the page and never reaches a page file.
class TGripOverlay : public QWidget {
public:
    TGripOverlay(Tselectcontrolcla& selection, QWidget* page);
    // Follows the selection: repaints, and lets through the mouse everywhere but on a grip that
    // resizes (a lone widget's); grey grips are caught by the page's own routing.
    void Refresh();
    // The grip being dragged, or -1.
    int Dragged() const { return dragged_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    Tselectcontrolcla& selection_;
    int dragged_ = -1;
};

// One grip of a selected widget: where it stands in the widget's container, and whether shown.
struct TGrip {
    int Number = 0;
    QPoint Pos;
    bool Shown = false;
};

// One selected widget and its eight grips, numbered 0 to 7.
struct TSelectControl {
    zl::Control* Control = nullptr;
    std::array<TGrip, 8> Grips;
};

// The designer's selection, in the order the widgets were selected.
class Tselectcontrolcla {
public:
    Tselectcontrolcla() = default;
    ~Tselectcontrolcla();
    Tselectcontrolcla(const Tselectcontrolcla&) = delete;
    Tselectcontrolcla& operator=(const Tselectcontrolcla&) = delete;

    int Count() const { return static_cast<int>(Items.size()); }
    std::optional<TSelectControl> Item(int index) const;
    int IndexOf(const Control* control) const;
    // Appends the widget with eight hidden grips.
    void Add(Control* control);
    void Remove(int index);
    void Clear();
    // Selects exactly these widgets, with grips laid out as a click or band would.
    void SelectWidgets(const std::vector<Control*>& widgets);
    std::vector<Control*> Widgets() const;

    // Top-left corner of the grip for the widget's present bounds.
    static QPoint GripPlacement(const Control& control, int grip);
    // Places the item's grips; single mode shows all eight, group mode only the corners.
    void LayoutGrips(const Control& control, int index, bool single);
    void SetGripColor(TColor color);
    TColor GripColor() const { return color_; }

    // The page that shows the grips; the sheet is made on the first widget selected.
    TGripOverlay* Overlay() const { return overlay_; }
    // Where a grip is drawn on the page: moved inside the page where it would stand past its edge.
    QRect DrawnRect(const TSelectControl& item, const TGrip& grip) const;
    // The shown grip at a page point, topmost first: item index and grip number.
    std::optional<std::pair<int, int>> GripAt(QPoint pagePoint) const;

    // Grip handlers; positions are in the page's coordinates.
    void GripMouseDown(int grip, QPoint pagePoint);
    void GripMouseMove(int grip, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, QPoint pagePoint);

    std::vector<TSelectControl> Items;
    // A grip drag, from press to release, is one designer change.
    std::function<void()> OnGripPress, OnGripRelease;
    // After a widget joined or left the selection.
    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange) OnChange();
    }
    void Repaint() {
        if (overlay_) overlay_->Refresh();
    }
    // Offset of the container's origin on the page.
    QPoint ContainerOffset(const Control& control) const;

    QPointer<TGripOverlay> overlay_;
    TColor color_ = clBlack;
    // The pressed point's offset from the pressed grip's place, in page coordinates.
    QPoint pressOffset_;
};

// W / 2 or H / 2 to the nearest integer, halves going to the even neighbour.
int HalfToEven(int value);

// The designer's exact shift states: a button with no key, with Shift only or with Ctrl only.
enum class ShiftState { None, Left, ShiftLeft, CtrlLeft };
ShiftState ClassifyShift(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, bool doubleClick = false);

}  // namespace zl
