#include "app/playsimulation.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

#include "app/mainwindow.h"
#include "core/clock.h"
#include "core/codepage.h"

namespace zl {

namespace {

// What the event loop does between two timer messages: window system events (showing and
// hiding pages), repaints and deferred deletions. Without it they would pile up for the whole
// run, which a real run never does.
void ServeEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

void SimulatePlayRun(std::int64_t seconds, const std::function<void(const std::string& line)>& shown,
                     std::optional<LocalMs> at) {
    ManualTimeSource clock;
    // A time in a skipped hour starts the run at the first valid minute after it.
    clock.SetInstant(at ? UtcFromLocal(*at) : SystemClock().Utc());
    ScopedTimeSource scope(clock);
    const MonoMs start = clock.Monotonic();
    // Virtual time runs far faster than any sign could follow: no LED output.
    TSYS_Frmzorled window(nullptr, TSYS_Frmzorled::Use::PlayOnly);
    window.RunPlanEditor = [] { return true; };
    const auto line = [&](const std::string& what) {
        const std::int64_t ms = MonotonicNow() - start;
        shown(std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + "\t" + what);
    };
    window.PageShown = [&](const std::string& page) { line(GbkToUtf8(page)); };
    window.DarkShown = [&](std::optional<UtcMs>) { line("dark"); };
    window.ActionPlayExecute();
    ServeEvents();
    // A step of the play timer's period: every second the loop gets its turn.
    for (std::int64_t left = seconds * 1000; left > 0;) {
        const std::int64_t step = std::min<std::int64_t>(left, 1000);
        clock.Advance(step);
        left -= step;
        ServeEvents();
    }
    window.ActionPlayExecute();
}

}  // namespace zl
