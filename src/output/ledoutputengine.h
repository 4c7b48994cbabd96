#pragma once
#include <netinet/in.h>

#include <QImage>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "output/ledoutputconfig.h"
#include "output/packets.h"
#include "output/udplink.h"

class QWidget;

namespace zl {

struct LedOutputStats {
    long long frames = 0;   // frames handed to the network
    long long packets = 0;  // datagrams of those frames
    long long failures = 0; // frames a send error cut short or that had no way out
};

// The sender's identity kept for the installation: the same on every start from this home on
// this machine.
E131Source InstallationSource();

// Streams the page window's client area to the outputs: each output's region is mapped to its
// panel's order, levels and colour order and sent when the picture changed; an unchanged
// picture goes out three times in a row, then at least once a second. Everything runs on the
// caller's thread except host look-ups, and a failing output never holds the others up.
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

    // Sends a picture that shows the panel's corners and colour order instead of the page.
    void SetTestPattern(int index, bool on);

    // Called with each frame's wire bytes as it goes out.
    std::function<void(int index, const std::uint8_t* wire, size_t bytes)> FrameSent;
    // Called when the status line changes; every problem is also logged once.
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
    // Blocks until every host look-up started so far has answered.
    void WaitForLookups();

    static int TickInterval(int rate) { return (1000 + rate / 2) / rate; }

private:
    struct Output;
    struct Lookup;

    void Build();
    void OpenLink(Output& o, LocalMs now);
    void Compose(Output& o, QWidget* page, int rate, bool& drawn);
    void Transmit(Output& o, std::uint8_t options);
    void SetProblem(Output& o, std::string problem);

    PageSource page_;
    E131Source source_;
    std::vector<LedOutputConfig> configs_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::map<int, std::unique_ptr<Timer>> timers_;  // one per frame rate
    std::map<int, QRect> areas_;                   // the page area each rate needs
    std::map<int, QImage> pictures_;
    Resolver resolver_;
    SendBatchCall sendCall_ = SystemSendBatch;
    bool running_ = false;
};

}  // namespace zl
