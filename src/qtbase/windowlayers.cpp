#include "qtbase/windowlayers.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

namespace zl {
namespace {

bool IsPage(const QWidget& w) { return w.property(kPageWindowProperty).toBool(); }

class DialogLayerFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(watched);
        if (!StaysAbovePages(*w)) return false;
        // The show event comes before the window is mapped: the hint set now is the one the
        // window manager reads at the map, with no re-map of a shown window.
        const Qt::WindowFlags flags = w->windowFlags() | Qt::WindowStaysOnTopHint;
        if (flags != w->windowFlags()) {
            w->overrideWindowFlags(flags);
            if (QWindow* handle = w->windowHandle()) handle->setFlags(flags);
        }
        return false;
    }
};

}  // namespace

bool StaysAbovePages(const QWidget& window) {
    if (!window.isWindow() || IsPage(window)) return false;
    switch (window.windowType()) {
        case Qt::Dialog:
        case Qt::Sheet:
        case Qt::Tool:
            return true;
        case Qt::Window:
            return window.parentWidget() != nullptr;
        default:
            // Menus, tooltips and popups are drawn above every window already.
            return false;
    }
}

void KeepPageUnderDialogs(QWidget& page) {
    bool any = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &page && w->isVisible() && StaysAbovePages(*w)) {
            w->raise();
            any = true;
        }
    // A window manager may refuse to raise a modal dialog over the page, but it places a page
    // just mapped where asked: at the foot of its layer, still above other programs' windows.
    if (any) page.lower();
}

void KeepDialogsAbovePages() {
    static DialogLayerFilter* filter = nullptr;
    if (filter) return;
    filter = new DialogLayerFilter(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace zl
