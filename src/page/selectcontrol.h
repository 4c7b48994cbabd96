#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "qtbase/control.h"

namespace zl {

class Tselectcontrolcla;

// A 6 x 6 sizing handle on the page, above every widget; it belongs to the selection alone, so
// it is never a component of the page and never reaches a page file.
class TGripPanel : public QWidget {
public:
    TGripPanel(Tselectcontrolcla& selection, QWidget* page, int number);
    int Number() const { return number_; }
    TColor GripColor() const { return color_; }
    void SetGripColor(TColor color);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    Tselectcontrolcla& selection_;
    int number_;
    TColor color_ = clBlack;
};

struct TGrip {
    QPointer<TGripPanel> Grip;
    int Number = 0;
};

// One selected widget and its eight grips, numbered 0 to 7.
struct TSelectControl {
    zl::Control* Control = nullptr;
    std::vector<TGrip> Grips;
};

constexpr int kGripSize = 6;
// The least width and height a grip leaves a widget: its three grips on a side stand apart, so
// each can still be caught.
constexpr int kMinGripSpan = 2 * kGripSize;

// The designer's selection, in the order the widgets were selected.
class Tselectcontrolcla {
public:
    Tselectcontrolcla() = default;
    ~Tselectcontrolcla() { Clear(); }
    Tselectcontrolcla(const Tselectcontrolcla&) = delete;
    Tselectcontrolcla& operator=(const Tselectcontrolcla&) = delete;

    int Count() const { return static_cast<int>(Items.size()); }
    std::optional<TSelectControl> Item(int index) const;
    int IndexOf(const Control* control) const;
    // Appends the widget with eight hidden black grips on its parent, brought to the front.
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

    // Grip handlers; positions are in the grip's own coordinates.
    void GripMouseDown(TGripPanel& grip, int x, int y);
    void GripMouseMove(TGripPanel& grip, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, int x, int y);

    std::vector<TSelectControl> Items;
    int PressX = 0, PressY = 0;
    // A grip drag, from press to release, is one designer change.
    std::function<void()> OnGripPress, OnGripRelease;
    // After a widget joined or left the selection.
    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange) OnChange();
    }
};

// W / 2 or H / 2 to the nearest integer, halves going to the even neighbour.
int HalfToEven(int value);

// The designer's exact shift states: a button with no key, with Shift only or with Ctrl only.
enum class ShiftState { None, Left, ShiftLeft, CtrlLeft };
ShiftState ClassifyShift(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, bool doubleClick = false);

}  // namespace zl
