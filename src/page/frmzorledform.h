#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "page/pagehistory.h"
#include "page/selectcontrol.h"
#include "page/zorform.h"

class QMouseEvent;

namespace zl {

// The buttons held and keys down with a mouse event; the designer matches exact states.
struct MouseShift {
    Qt::MouseButtons buttons = Qt::NoButton;
    Qt::KeyboardModifiers keys = Qt::NoModifier;
    bool doubleClick = false;
    ShiftState State() const { return ClassifyShift(buttons, keys, doubleClick); }
};

// A transparent sheet over the page on which the selection band is drawn, dotted and inverting
// what lies beneath; erasing leaves exactly what was there before.
class TBandCanvas : public QWidget {
public:
    explicit TBandCanvas(QWidget* page);
    // Corners in the page's client coordinates, both included.
    void DrawBand(QPoint from, QPoint to);
    void EraseBand();
    std::optional<QRect> Shown() const { return shown_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QRect> shown_;
};

// Widget kinds of CreateWidget; only the low seven bits count.
enum WidgetKind { wkLabel = 1, wkImage = 2, wkMarquee = 3, wkClock = 4, wkScrollText = 5 };

// The class of every page window: the design surface and the display, with the designer's state.
class TFrmZorLedForm : public TZorLedForm {
    Q_OBJECT
public:
    explicit TFrmZorLedForm(Component* owner = nullptr);
    ~TFrmZorLedForm() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    const std::vector<std::string>& PublishedHandlers() const override;

    // Creates a widget of the kind, named and placed by the kind's counter; returns it or null.
    Control* CreateWidget(int kind);
    void HookWidget(Control* widget);
    void HookAllWidgets();
    void StartWidgets();
    void StopWidgets();
    bool WidgetsIdle() const;
    // Composes each board's first frame (its first text band laid out and drawn), so a page
    // prepared off-screen shows its text at once.
    void PrepareFirstFrame();
    void DeleteSelected();
    // Moves the selected widgets by (dx, dy) as one undoable step.
    void MoveSelected(int dx, int dy);
    void SelectAll();

    // The last text pasted and how often in a row, so each paste of it lands further on.
    std::size_t PasteKey = 0;
    int PasteRepeat = 0;

    // Every designer change goes through this history (undo and redo).
    std::unique_ptr<TPageHistory> History;

    // The page's widgets in control order: drawn widgets in creation order, then clocks.
    std::vector<Control*> ChildControls() const { return ControlsIn(this); }
    // The same for the widgets placed in `container` (the page or a clock holding widgets).
    std::vector<Control*> ControlsIn(const QWidget* container) const;
    // Every widget of the page, each followed by those it holds.
    std::vector<Control*> AllWidgets() const;
    // Re-stacks the children so windowed widgets lie above drawn ones, grips above all.
    void Restack();

    // Runs the published handler of that name for an event of `sender` (a widget's bound event).
    void CallHandler(const std::string& handler, Control* sender);

    // Designer state. The band corners are in page-window coordinates: the client origin lies
    // at (kFrameLeft, kFrameTop) inside the frame.
    int PressX = 0, PressY = 0;
    int BandX1 = 0, BandY1 = 0, BandX2 = 0, BandY2 = 0;
    bool BandActive = false;
    TBandCanvas* BandCanvas = nullptr;
    std::unique_ptr<Tselectcontrolcla> Selection;

    // Adds every widget of the container that the band meets (touching counts), then lays out grips.
    void SelectInBand(int x1, int y1, int x2, int y2, QWidget* container);

    // Published handlers, bound to the page window's own events.
    virtual void FormCreate();
    virtual void FormDestroy();
    virtual void FormDblClick();
    // Positions are in the page's client coordinates.
    virtual void FormMouseDown(Qt::MouseButton button, MouseShift shift, int x, int y);
    virtual void FormMouseMove(MouseShift shift, int x, int y);
    virtual void FormMouseUp(Qt::MouseButton button, MouseShift shift, int x, int y);

    // The designer's handlers for every hooked widget; positions are in the widget's coordinates.
    virtual void WidgetMouseDown(Control* widget, Qt::MouseButton button, MouseShift shift, int x, int y);
    virtual void WidgetMouseMove(Control* widget, MouseShift shift, int x, int y);
    virtual void WidgetMouseUp(Control* widget, Qt::MouseButton button, MouseShift shift, int x, int y);
    virtual void WidgetDblClick(Control* widget);

    // Places the grips of every selected widget for its present bounds.
    void LayoutAllGrips();

    // Opens the page's property dialog; installed by the editors layer.
    static void (*ShowFormEdit)(TFrmZorLedForm& page);

signals:
    // A widget joined or left the selection.
    void SelectionChanged();

protected:
    void OperatorMoving() override;
    void OperatorMoved() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool HandlerBound(const char* event, const char* handler) const;
    void RestackIn(QWidget* container, const std::vector<Control*>& controls);
    void DrawBand();
    void EraseBand();
    void NormaliseBand();
    // The selection's state when a drag began; recorded as one step when the button is released.
    std::optional<PageState> dragBefore_;
    bool greyGripHeld_ = false;
    PropertyValues beforeMove_;
    bool CatchGreyGrip(const QMouseEvent& event, QPoint pagePoint);
    void FinishDrag(const QString& caption);
};

// Process-wide counters, one per widget kind; never reset by New page, Open or play.
int WidgetCounter(int kind);
// The name the widget factory would give a new widget of the class: the kind's prefix and its
// counter's next free number, which it takes.
std::string NewWidgetName(TFrmZorLedForm& page, const std::string& className);
// For tests that need a fresh run.
void ResetWidgetCounters();

// A fresh page window as the main window makes it: named, captioned, placed and shown, or left
// unshown for a page that is read first (its window flags are then final at its first show).
TFrmZorLedForm* CreatePageWindow(const std::string& name, bool shown = true);

// Registers the classes a page file may name, in the order the reader tries them.
void RegisterPageClasses();

}  // namespace zl
