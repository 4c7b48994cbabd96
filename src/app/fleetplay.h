#pragma once
#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/textlist.h"
#include "fleet/fleetconfig.h"
#include "fleet/fleetsign.h"


namespace zl {

class Control;
class TFrmZorLedForm;
class TSYS_Frmzorled;

// Announcements shown in the widgets of the page on screen that carry the topic's widget name:
// a label's caption, a marquee's running text, a board's lines. The widget's own text comes
// back when the announcement ends or is cleared, and before any save.
class AnnouncementBoard {
public:
    // An empty text clears the widget's announcement.
    void Set(const Announcement& announcement);
    // Shows what is due on `page` at `nowMs` (UTC) and takes back what ended. Returns one line
    // per change ("shown NAME TEXT" / "ended NAME"), for logs.
    std::vector<std::string> Apply(TFrmZorLedForm* page, std::int64_t nowMs);
    // Puts every widget's own text back (before a save, when play stops).
    void RestoreAll();
    bool Empty() const { return active_.empty(); }

private:
    struct Shown {
        std::string text;  // GBK, as shown
        std::string ownCaption;
        StringList ownLines;
    };
    void Restore(Control* control, const Shown& shown);
    std::map<std::string, Announcement> active_;  // by widget name
    TFrmZorLedForm* page_ = nullptr;
    std::map<Control*, Shown> shown_;
};

// A sign of the fleet inside a running program: the fleet client handed to the GUI thread.
// Bundles change the selection at the next page change, announcements show in the named
// widgets, screenshots are of the page on screen. Play never waits on it.
class FleetPlay : public QObject {
    Q_OBJECT
public:
    FleetPlay(TSYS_Frmzorled& window, std::filesystem::path home, FleetConfig config);
    ~FleetPlay() override;
    // One line per event (page shown, bundle applied, announcement shown), for the headless sign.
    std::function<void(const std::string& line)> Log;
    // A fleet error (a refused message, a failed connection), on the GUI thread: for standard
    // error, the play log and the status line; never a box over the page.
    std::function<void(const std::string& message)> Problem;
    // Starts play; called once when a bundle arrives while the window does not play (a sign
    // started to play before it had a selection).
    std::function<void()> StartPlay;
    void Start();
    FleetSign& Sign() { return *sign_; }

private:
    void Tick();
    void Say(const std::string& line);
    TSYS_Frmzorled& window_;
    std::filesystem::path home_;
    std::unique_ptr<FleetSign> sign_;
    FleetSign::PlayWindow PlayWindowNow() const;
    std::unique_ptr<Timer> timer_;
    std::function<void(std::optional<std::int64_t> until)> previousDark_;
    int ticks_ = 0;
    // The bundle whose selection play runs, and one applied that play has yet to take.
    std::string playedBundle_, takenBundle_;
};

// <home>/fleet.ini as the sign's settings, or nothing when the home has none.
std::unique_ptr<FleetPlay> StartFleetIfConfigured(TSYS_Frmzorled& window, const std::filesystem::path& home);
// The program's version as a sign reports it.
const char* ProgramVersion();

}  // namespace zl
