#pragma once
#include <memory>
#include <vector>

#include "page/selectcontrol.h"
#include "page/zorform.h"

class QMouseEvent;

namespace zl {

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
    void DeleteSelected();

    // The page's widgets in control order: drawn widgets in creation order, then clocks.
    std::vector<Control*> ChildControls() const;
    // Re-stacks the children so windowed widgets lie above drawn ones.
    void Restack();

    // Designer state.
    int PressX = 0, PressY = 0;
    int BandX1 = 0, BandY1 = 0, BandX2 = 0, BandY2 = 0;
    bool BandActive = false;
    std::unique_ptr<Tselectcontrolcla> Selection;

    // Published handlers, bound to the page window's own events.
    virtual void FormCreate();
    virtual void FormDestroy();
    virtual void FormDblClick();
    virtual void FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y);
    virtual void FormMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, int x, int y);
    virtual void FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y);

    // The designer's handlers for every hooked widget.
    virtual void WidgetMouseDown(Control* widget, Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y);
    virtual void WidgetMouseMove(Control* widget, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys, int x, int y);
    virtual void WidgetMouseUp(Control* widget, Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y);
    virtual void WidgetDblClick(Control* widget);

    // Opens the page's property dialog; installed by the editors layer.
    static void (*ShowFormEdit)(TFrmZorLedForm& page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool HandlerBound(const char* event, const char* handler) const;
};

// Process-wide counters, one per widget kind; never reset by New page, Open or play.
int WidgetCounter(int kind);
// For tests that need a fresh run.
void ResetWidgetCounters();

// A fresh page window as the main window makes it: named, captioned, placed and shown.
TFrmZorLedForm* CreatePageWindow(const std::string& name);

// Registers the classes a page file may name, in the order the reader tries them.
void RegisterPageClasses();

}  // namespace zl
