#include "app/playsimulation.h"

#include "app/mainwindow.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "output/ledoutputcontrol.h"

namespace zl {

void SimulatePlayRun(std::int64_t seconds, const std::function<void(const std::string& line)>& shown) {
    ManualTimeSource clock(SystemClock().Now());
    ScopedTimeSource scope(clock);
    const LocalMs start = clock.Now();
    TSYS_Frmzorled window;
    // Virtual time runs far faster than any sign could follow.
    window.LedOutput.reset();
    window.RunPlanEditor = [] { return true; };
    window.PageShown = [&](const std::string& page) {
        const std::int64_t ms = Now() - start;
        shown(std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + "\t" + GbkToUtf8(page));
    };
    window.ActionPlayExecute();
    clock.Advance(seconds * 1000);
    window.ActionPlayExecute();
}

}  // namespace zl
