// The LED output's frame rate on real time, as a controller on 127.0.0.1 sees it: one DDP output
// of a page whose picture changes after every frame (so every tick sends), run for a while on
// the system's timers at each rate. Counters: frames a second against the rate ("error_pct"),
// and the interval between frames at the receiver, p50 and p99 in ms. Each case takes
// ZORLED_LEDRATE_SECONDS (default 10) seconds. A second case runs three outputs at once, two of
// them paced, each measured against its own rate.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "benchmain.h"
#include "loopback.h"
#include "output/ledoutputengine.h"
#include "page/frmzorledform.h"
#include "qtbase/systemtimers.h"

namespace {

int Seconds() {
    const char* env = std::getenv("ZORLED_LEDRATE_SECONDS");
    return env ? std::max(4, std::atoi(env)) : 10;
}

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A loopback controller that notes when each frame's last packet arrived, as `last` tells.
struct FrameReceiver {
    explicit FrameReceiver(std::function<bool(const std::uint8_t*, ssize_t)> last) : isLast(std::move(last)) {
        const int size = 1 << 22;
        ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        timeval wait{0, 200000};
        ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        thread = std::thread([this] {
            std::uint8_t buffer[2048];
            while (!done) {
                const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
                if (n > 0 && isLast(buffer, n)) arrivals.push_back(SteadyNs());
            }
        });
    }
    // Ends the receiving; the arrivals are the receiver's alone from here.
    void Finish() {
        done = true;
        thread.join();
    }
    const zl::bench::LoopbackReceiver socket;
    std::function<bool(const std::uint8_t*, ssize_t)> isLast;
    std::vector<std::int64_t> arrivals;
    std::atomic<bool> done{false};
    std::thread thread;
};

bool DdpPush(const std::uint8_t* p, ssize_t) { return p[0] & 1; }

// Frames a second and the intervals between them, the first and the last second left out;
// false (and the benchmark marked) when there are too few frames to tell.
bool Measure(benchmark::State& state, const std::vector<std::int64_t>& arrivals, int rate, const std::string& name) {
    if (arrivals.empty()) {
        state.SkipWithError((name + ": the receiver got no frames").c_str());
        return false;
    }
    const std::int64_t from = arrivals.front() + 1'000'000'000, to = arrivals.back() - 1'000'000'000;
    std::vector<std::int64_t> kept;
    for (std::int64_t t : arrivals)
        if (t >= from && t <= to) kept.push_back(t);
    if (kept.size() < 3) {
        state.SkipWithError((name + ": too few frames between the first and the last second: run longer").c_str());
        return false;
    }
    const double fps = static_cast<double>(kept.size() - 1) / (static_cast<double>(kept.back() - kept.front()) / 1e9);
    std::vector<double> gaps;
    for (size_t i = 1; i < kept.size(); ++i) gaps.push_back(static_cast<double>(kept[i] - kept[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    state.counters[name + "fps"] = fps;
    state.counters[name + "error_pct"] = 100.0 * (fps - rate) / rate;
    state.counters[name + "p50_ms"] = gaps[gaps.size() / 2];
    state.counters[name + "p99_ms"] = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
    return true;
}

// Streams the page for the run's seconds on the system's timers, a new picture after every frame.
void Stream(zl::TFrmZorLedForm& page, const std::vector<zl::LedOutputConfig>& outputs) {
    zl::LedOutputEngine engine([&page]() -> QWidget* { return &page; });
    engine.SetOutputs(outputs);
    // Never a colour seen before, so each output's every tick has a new picture to send.
    int shade = 0;
    engine.FrameSent = [&](int, const std::uint8_t*, size_t) {
        shade = (shade + 1) & 0xFFFF;
        page.SetColor(static_cast<zl::TColor>(0x00100000 + shade));
    };
    engine.Start();
    QTimer::singleShot(std::chrono::seconds(Seconds()), QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    engine.Stop();
}

std::unique_ptr<zl::TFrmZorLedForm> Page() {
    std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
    page->SetClientWidth(64);
    page->SetClientHeight(32);
    return page;
}

zl::LedOutputConfig Output(const char* section, zl::LedProtocol protocol, int port, int rate, int pace) {
    zl::LedOutputConfig o;
    o.section = section;
    o.protocol = protocol;
    o.host = "127.0.0.1";
    o.port = port;
    o.width = 64;
    o.height = 32;
    o.rate = rate;
    o.pace = pace;
    return o;
}

void BM_StreamRate(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    zl::InstallSystemTime();
    const auto page = Page();
    for (auto _ : state) {
        FrameReceiver receiver(DdpPush);
        Stream(*page, {Output("output1", zl::LedProtocol::Ddp, receiver.socket.port, rate, 0)});
        receiver.Finish();
        if (!Measure(state, receiver.arrivals, rate, "")) break;
    }
}
BENCHMARK(BM_StreamRate)->Arg(30)->Arg(60)->Arg(120)->Iterations(1)->Unit(benchmark::kSecond);

// Three outputs side by side, two of them paced: an E1.31 one at 10 Hz spread over 90 % of its
// interval (13 universes), a DDP one at 40 Hz over 60 % (5 packets) and a DDP one at 60 Hz
// over 90 %. Each must keep its own rate ("a_", "b_", "c_" counters).
void BM_PacedOutputsSideBySide(benchmark::State& state) {
    zl::InstallSystemTime();
    const auto page = Page();
    for (auto _ : state) {
        // An E1.31 frame ends with the packet of its last universe (the sequence of 13 from 1).
        FrameReceiver a([](const std::uint8_t* p, ssize_t n) { return n > 114 && (p[113] << 8 | p[114]) == 13; });
        FrameReceiver b(DdpPush), c(DdpPush);
        zl::LedOutputConfig e131 = Output("output1", zl::LedProtocol::E131, a.socket.port, 10, 90);
        e131.universe = 1;
        Stream(*page, {e131, Output("output2", zl::LedProtocol::Ddp, b.socket.port, 40, 60),
                       Output("output3", zl::LedProtocol::Ddp, c.socket.port, 60, 90)});
        for (FrameReceiver* r : {&a, &b, &c}) r->Finish();
        if (!Measure(state, a.arrivals, 10, "a_") || !Measure(state, b.arrivals, 40, "b_") ||
            !Measure(state, c.arrivals, 60, "c_"))
            break;
    }
}
BENCHMARK(BM_PacedOutputsSideBySide)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
