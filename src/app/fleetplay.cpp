#include "app/fleetplay.h"

#include <QBuffer>
#include <QImage>
#include <QCoreApplication>
#include <algorithm>

#include "app/fleetwindow.h"
#include "app/mainwindow.h"
#include "core/codepage.h"
#include "fleet/bundle.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "qtbase/lifetime.h"
#include "widgets/datarefresh.h"
#include "widgets/zmd.h"
#include "widgets/zorledlabel.h"
#include "widgets/zorscrolltext.h"

namespace zl {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

StringList SplitLines(const std::string& text) {
    StringList lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

void Hold(Control* control, bool held) {
    if (auto* fed = dynamic_cast<DataFed*>(control)) fed->FeedHeld = held;
}

}  // namespace

void AnnouncementBoard::Set(const Announcement& a) {
    if (a.text.empty())
        active_.erase(Lower(a.widget));
    else
        active_[Lower(a.widget)] = a;
}

void AnnouncementBoard::Restore(Control* control, const Shown& shown) {
    Hold(control, false);
    if (auto* board = dynamic_cast<TzorScrollText*>(control))
        board->Text().SetLines(shown.ownLines);
    else if (auto* marquee = dynamic_cast<Tzmd*>(control))
        marquee->SetRunningCaption(shown.ownCaption);
    else
        control->SetCaption(shown.ownCaption);
}

std::vector<std::string> AnnouncementBoard::Apply(TFrmZorLedForm* page, std::int64_t nowMs) {
    std::vector<std::string> changes;
    for (auto it = active_.begin(); it != active_.end();)
        it = it->second.until != 0 && it->second.until <= nowMs ? active_.erase(it) : std::next(it);
    // A new page brings its widgets with their own texts.
    if (page != page_) {
        shown_.clear();
        page_ = page;
    }
    if (!page) return changes;
    for (Control* control : page->AllWidgets()) {
        const bool kind = dynamic_cast<TzorScrollText*>(control) || dynamic_cast<Tzmd*>(control) ||
                          dynamic_cast<Tzorledlabel*>(control);
        if (!kind) continue;
        const auto wanted = active_.find(Lower(GbkToUtf8(control->Name())));
        auto shown = shown_.find(control);
        if (wanted == active_.end()) {
            if (shown != shown_.end()) {
                Restore(control, shown->second);
                shown_.erase(shown);
                changes.push_back("ended " + GbkToUtf8(control->Name()));
            }
            continue;
        }
        // Announcements come as UTF-8; widgets hold GBK. The conversion is the one UTF-8 data
        // files take, so a character GBK cannot hold shows as "?" in both.
        const std::string text = Utf8ToGbk(wanted->second.text);
        if (shown != shown_.end() && shown->second.text == text) continue;
        if (shown == shown_.end()) {
            Shown own;
            if (auto* board = dynamic_cast<TzorScrollText*>(control)) own.ownLines = board->Text().Lines();
            else if (auto* marquee = dynamic_cast<Tzmd*>(control)) own.ownCaption = marquee->RunningCaption();
            else own.ownCaption = control->Caption();
            shown = shown_.emplace(control, own).first;
        }
        shown->second.text = text;
        Hold(control, true);
        if (auto* board = dynamic_cast<TzorScrollText*>(control))
            board->Text().SetLines(SplitLines(text));
        else if (auto* marquee = dynamic_cast<Tzmd*>(control))
            marquee->SetRunningCaption(text);
        else
            control->SetCaption(text);
        changes.push_back("shown " + GbkToUtf8(control->Name()) + " " + wanted->second.text);
    }
    return changes;
}

void AnnouncementBoard::RestoreAll() {
    for (const auto& [control, shown] : shown_) Restore(control, shown);
    shown_.clear();
}

const char* ProgramVersion() { return "1.05"; }

FleetPlay::FleetPlay(TSYS_Frmzorled& window, std::filesystem::path home, FleetConfig config)
    : window_(window), home_(home), sign_(std::make_unique<FleetSign>(std::move(home), std::move(config), ProgramVersion())) {
    if (!window_.Announcements) window_.Announcements = std::make_unique<AnnouncementBoard>();
    auto shown = window_.PageShown;
    window_.PageShown = [this, shown](const std::string& page) {
        if (shown) shown(page);
        // The page list is rebuilt before the first page of a new selection shows.
        if (!window_.SelectionReplaced && !takenBundle_.empty()) playedBundle_ = std::exchange(takenBundle_, {});
        sign_->SetWindow(PlayWindowNow());
        sign_->SetPage(GbkToUtf8(window_.CurrentPlan()), GbkToUtf8(page), IsFleetManaged(home_) ? playedBundle_ : "");
        Say("page " + GbkToUtf8(page));
        Tick();
    };
    previousDark_ = window_.DarkShown;
    window_.DarkShown = [this](std::optional<UtcMs> until) {
        if (previousDark_) previousDark_(until);
        // Dark is how the new selection plays now: the publisher hears it applied.
        if (!window_.SelectionReplaced && !takenBundle_.empty()) playedBundle_ = std::exchange(takenBundle_, {});
        sign_->SetWindow(PlayWindowNow());
        sign_->SetPage({}, {}, IsFleetManaged(home_) ? playedBundle_ : "");
        Say("dark");
    };
    // The network thread only queues; the GUI thread does the work when it gets to it.
    sign_->onBundleApplied = [this] {
        QMetaObject::invokeMethod(this, [this] {
            Say("applied " + sign_->StateJson());
            takenBundle_ = sign_->AppliedBundle();
            if (!window_.Playing && StartPlay) {
                // The selection it was waiting for: play starts at its first page.
                playedBundle_ = std::exchange(takenBundle_, {});
                std::exchange(StartPlay, {})();
            } else {
                Guarded([this] { window_.TakeNewSelection(); });
            }
            // A page of the old selection shown since the apply may have recorded its index.
            ResetResumePoint(home_);
        }, Qt::QueuedConnection);
    };
    sign_->onAnnouncement = [this](const Announcement& a) {
        QMetaObject::invokeMethod(this, [this, a] {
            window_.Announcements->Set(a);
            Tick();
        }, Qt::QueuedConnection);
    };
    sign_->onShotRequest = [this](const std::string& id) {
        QMetaObject::invokeMethod(this, [this, id] {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage image = window_.Page ? window_.Page->grab().toImage() : QImage(1, 1, QImage::Format_RGB32);
            if (!window_.Page) image.fill(Qt::black);
            image.save(&buffer, "PNG");
            sign_->SendShot(id, png.toStdString());
        }, Qt::QueuedConnection);
    };
    // Ends the event loop like a stop signal, so play stops cleanly and the sign says goodbye.
    sign_->onRestart = [this] {
        QMetaObject::invokeMethod(this, [this] {
            Say("restart");
            QCoreApplication::exit(kExitRestart);
        }, Qt::QueuedConnection);
    };
    sign_->onError = [this](const std::string& message) {
        QMetaObject::invokeMethod(this, [this, message] {
            // Anyone who may write a group's topics could raise it: never a box over the page.
            Say("error " + message);
            if (Problem) Problem(message);
        }, Qt::QueuedConnection);
    };
    playedBundle_ = sign_->AppliedBundle();
    timer_ = CreateTimer();
    timer_->SetInterval(1000);
    timer_->SetOnTimer([this] {
        Guarded([this] { Tick(); });
        // Health figures a minute old at most, without a message a second from every sign.
        if (++ticks_ % 60 == 0) sign_->RefreshHealth();
    });
    timer_->SetEnabled(true);
}

FleetPlay::~FleetPlay() {
    // The network thread ends before anything it could queue to goes away.
    sign_->Stop();
    window_.DarkShown = previousDark_;
    if (window_.Announcements) window_.Announcements->RestoreAll();
}

void FleetPlay::Start() {
    sign_->Start();
}

FleetSign::PlayWindow FleetPlay::PlayWindowNow() const {
    FleetSign::PlayWindow now;
    const bool scheduled = window_.Schedule.Active();
    for (const std::string& plan : scheduled ? window_.ScheduleNow.plans : window_.SelectedPlans)
        now.plansOn.push_back(GbkToUtf8(plan));
    now.dark = scheduled && window_.ScheduleNow.dark;
    if (scheduled) now.until = window_.ScheduleChange;
    return now;
}

void FleetPlay::Say(const std::string& line) {
    if (Log) Log(line);
}

void FleetPlay::Tick() {
    if (!window_.Announcements) return;
    if (!window_.Playing) {
        window_.Announcements->RestoreAll();
        return;
    }
    for (const std::string& change : window_.Announcements->Apply(window_.Page, UtcNow())) Say(change);
    // Waking shows a page, whose PageShown comes back here to put the announcement in it.
    window_.SetAwake(!window_.Announcements->Empty());
}

std::unique_ptr<FleetPlay> StartFleetIfConfigured(TSYS_Frmzorled& window, const std::filesystem::path& home) {
    std::error_code ec;
    // A desk's settings name no sign: the program is then the publisher, not a sign.
    if (!std::filesystem::exists(home / "fleet.ini", ec) || IsPublisherSettings(home / "fleet.ini")) return nullptr;
    auto fleet = std::make_unique<FleetPlay>(window, home, ReadFleetConfig(home / "fleet.ini", FleetRole::Sign));
    fleet->Start();
    return fleet;
}

}  // namespace zl
