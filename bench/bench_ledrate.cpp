// The LED output's frame rate on real time, as a controller on 127.0.0.1 sees it: one DDP output
// of a page whose picture changes after every frame (so every tick sends), run for a while on
// the system's timers at each rate. Counters: frames a second against the rate ("error_pct"),
// and the interval between frames at the receiver, p50 and p99 in ms. Each case takes
// ZORLED_LEDRATE_SECONDS (default 10) seconds.
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
#include <memory>
#include <thread>
#include <vector>

#include "benchmain.h"
#include "loopback.h"
#include "output/ledoutputengine.h"
#include "page/frmzorledform.h"
#include "qtbase/systemtimers.h"

namespace {

void BM_StreamRate(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const char* env = std::getenv("ZORLED_LEDRATE_SECONDS");
    const int seconds = env ? std::max(4, std::atoi(env)) : 10;
    zl::InstallSystemTime();
    const zl::bench::LoopbackReceiver receiver;
    const int fd = receiver.fd;
    const int size = 1 << 22;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

    std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
    page->SetClientWidth(64);
    page->SetClientHeight(32);
    zl::LedOutputConfig o;
    o.section = "output1";
    o.host = "127.0.0.1";
    o.port = receiver.port;
    o.width = 64;
    o.height = 32;
    o.rate = rate;
    for (auto _ : state) {
        std::vector<std::int64_t> arrivals;
        std::atomic<bool> done{false};
        std::thread receiver([&] {
            std::uint8_t buffer[2048];
            while (!done) {
                if (::recv(fd, buffer, sizeof buffer, 0) > 0 && (buffer[0] & 1))
                    arrivals.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch()).count());
            }
        });
        zl::LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
        engine.SetOutputs({o});
        bool odd = false;
        // A new picture for every tick.
        engine.FrameSent = [&](int, const std::uint8_t*, size_t) { page->SetColor((odd = !odd) ? 0x00102030 : 0x00302010); };
        engine.Start();
        QTimer::singleShot(std::chrono::seconds(seconds), QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        engine.Stop();
        done = true;
        receiver.join();
        // The first and the last second are left out.
        if (arrivals.empty()) {
            state.SkipWithError("the receiver got no frames");
            break;
        }
        const std::int64_t from = arrivals.front() + 1'000'000'000, to = arrivals.back() - 1'000'000'000;
        std::vector<std::int64_t> kept;
        for (std::int64_t t : arrivals)
            if (t >= from && t <= to) kept.push_back(t);
        if (kept.size() < 3) {
            state.SkipWithError("too few frames between the first and the last second: run longer");
            break;
        }
        const double fps = static_cast<double>(kept.size() - 1) / (static_cast<double>(kept.back() - kept.front()) / 1e9);
        std::vector<double> gaps;
        for (size_t i = 1; i < kept.size(); ++i) gaps.push_back(static_cast<double>(kept[i] - kept[i - 1]) / 1e6);
        std::sort(gaps.begin(), gaps.end());
        state.counters["fps"] = fps;
        state.counters["error_pct"] = 100.0 * (fps - rate) / rate;
        state.counters["p50_ms"] = gaps[gaps.size() / 2];
        state.counters["p99_ms"] = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
    }
}
BENCHMARK(BM_StreamRate)->Arg(30)->Arg(60)->Arg(120)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
