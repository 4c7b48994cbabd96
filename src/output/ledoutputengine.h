#pragma once
#include <netinet/in.h>

#include <QImage>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/deadlineschedule.h"
#include "output/ledoutputconfig.h"
#include "output/packets.h"
#include "output/udplink.h"

class QWidget;

namespace zl {

struct LedOutputStats {
    long long frames = 0;   // frames handed to the network
    long long packets = 0;  // datagrams of those frames
    long long failures = 0; // frames a send error cut short or the controller refused
    std::string problem;    // what is wrong now, empty while sending works
    std::string lastError;  // the last problem there was, kept after it went away
    long long skipped = 0;  // paced frames dropped for a newer one before they went out
};

// When the ticks of an output running at `rate` frames a second fall: whole-millisecond timers
// alternate 16 and 17 ms at 60 Hz and the long-run rate is exact.
class FrameSchedule {
public:
    FrameSchedule(int rate, std::int64_t startNs) : schedule_(1'000'000'000, rate, startNs) {}
    std::int64_t Next() const { return schedule_.Next(); }
    // Moves past the tick served at `nowNs` and gives the milliseconds to the next deadline,
    // rounded up, at least 1.
    int Advance(std::int64_t nowNs) {
        schedule_.Advance(nowNs);
        return static_cast<int>(schedule_.MillisecondsLeft(nowNs));
    }
    std::int64_t PeriodNs() const { return schedule_.PeriodNs(); }

private:
    DeadlineSchedule schedule_;
};

// Pictures an installer sends instead of the page: the corners and colour order (quarters red,
// green, blue and white from the top left), one lit pixel walking along the chain from its first
// pixel at 10 pixels a second, every pixel one colour, a grey ramp from left to right, and lines
// every 8 pixels with the region's edge.
enum class TestPatternKind { Corners, Chase, Red, Green, Blue, White, Gradient, Grid };
constexpr int kTestPatternCount = 8;
std::string_view TestPatternName(TestPatternKind kind);   // "corners", "chase", ... as the tool takes them
std::string_view TestPatternTitle(TestPatternKind kind);  // as the dialog shows them
std::optional<TestPatternKind> TestPatternByName(std::string_view name);

// The sender's identity kept for the installation: the same on every start from this home on
// this machine.
E131Source InstallationSource();

// Streams the page window's client area to the outputs: each output's region is mapped to its
// panel's order, levels and colour order and sent when the picture changed; an unchanged
// picture goes out three times in a row, then at least once a second. Everything runs on the
// caller's thread except host look-ups and paced sends, and neither a failing nor a paced
// output ever holds the others up.
class LedOutputEngine {
public:
    using PageSource = std::function<QWidget*()>;
    using Resolver = std::function<std::optional<in_addr>(const std::string& host)>;

    explicit LedOutputEngine(PageSource page, E131Source source = InstallationSource());
    ~LedOutputEngine();
    LedOutputEngine(const LedOutputEngine&) = delete;
    LedOutputEngine& operator=(const LedOutputEngine&) = delete;

    // Replaces the outputs; a running engine ends its streams and starts the new ones.
    void SetOutputs(std::vector<LedOutputConfig> outputs);
    const std::vector<LedOutputConfig>& Outputs() const { return configs_; }
    void Start();
    // E1.31 outputs send three terminating packets per universe.
    void Stop();
    bool Running() const { return running_; }

    // Sends a test pattern instead of the page.
    void SetTestPattern(int index, bool on, TestPatternKind kind = TestPatternKind::Corners);

    // Called with each frame's wire bytes as it goes out.
    std::function<void(int index, const std::uint8_t* wire, size_t bytes)> FrameSent;
    // Called with one line when an output's problem comes or goes ("output1 ddp host:port：…").
    std::function<void(const std::string& line)> OutputChanged;
    // Called when the status line changes (the first problems, then how many more); every
    // problem is also logged once.
    std::function<void(const QString& status)> StatusChanged;
    QString Status() const;
    LedOutputStats Stats(int index) const;

    // One frame of the outputs that run at `rate` frames per second; their timer calls it.
    void Tick(int rate);
    // Frames and sends one output's present picture whatever the schedule says (benchmarks).
    void SendNow(int index);

    // Seams for tests and the tool.
    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    void SetSendCall(SendBatchCall call) { sendCall_ = call; }
    // Where paced sends wait for a packet's moment (steady-clock nanoseconds); tests record it.
    void SetPaceWait(std::function<void(std::int64_t untilNs)> wait);
    // Blocks until every paced frame handed over so far is sent (tests and stopping).
    void WaitForPacedSends();
    // Blocks until every host look-up started so far has answered.
    void WaitForLookups();

    // The first tick's interval in whole milliseconds, rounded up.
    static int TickInterval(int rate) { return (1000 + rate - 1) / rate; }

private:
    struct Output;
    struct Lookup;

    void Build();
    void OpenLink(Output& o, LocalMs now);
    // Maps the output's next frame into its wire buffer; true when it differs from the last.
    // `picture` is the page's picture of this tick, taken on first need.
    bool Compose(Output& o, QWidget* page, int rate, QImage& picture);
    // Sets the output's level for this frame from its brightness schedule.
    void Dim(Output& o);
    void Transmit(Output& o, std::uint8_t options, bool changed = true);
    void Delivered(Output& o, int error, size_t packets, bool data);
    void SetProblem(Output& o, std::string problem);
    // Reports outputs whose differently written hosts turned out to be this output's controller
    // and whose pixels overlap there.
    void CheckSameController(Output& o);
    // Counts what the pacing thread sent since the last look.
    void CollectPaced();
    class Pacer;

    PageSource page_;
    E131Source source_;
    std::vector<LedOutputConfig> configs_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::map<int, std::unique_ptr<Timer>> timers_;  // one per frame rate
    std::map<int, FrameSchedule> schedules_;
    std::map<int, QRect> areas_;                   // the page area each rate needs
    std::map<int, QImage> pictures_;
    Resolver resolver_;
    SendBatchCall sendCall_ = SystemSendBatch;
    bool running_ = false;
    std::unique_ptr<Pacer> pacer_;
    std::function<void(std::int64_t)> paceWait_;
};

}  // namespace zl
