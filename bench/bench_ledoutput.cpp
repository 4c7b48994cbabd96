// One frame of a 512 x 256 LED output, per protocol (DDP, E1.31, Art-Net) and pixel kind (RGB,
// RGBW): drawing the page region, mapping it to the panel's order, levels and colour order, and
// sending it to a loopback receiver, beside the bare sends of the same packets from ready
// buffers. "core_pct_40Hz" is the share of one core a 40 Hz output takes, in per cent.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "benchmain.h"
#include "loopback.h"
#include "output/ledoutputengine.h"
#include "output/packets.h"
#include "output/pagepicture.h"
#include "output/pixelmap.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "widgets/zorledlabel.h"

namespace {

constexpr int kWidth = 512, kHeight = 256;

// A bound socket nobody reads.
using Receiver = zl::bench::LoopbackReceiver;

// A sign-like page: a coloured ground with rows of text in several colours.
std::unique_ptr<zl::TFrmZorLedForm> MakePage() {
    std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
    page->SetColor(0x00301008);
    page->SetClientWidth(kWidth);
    page->SetClientHeight(kHeight);
    for (int row = 0; row < 4; ++row) {
        auto* label = static_cast<zl::Tzorledlabel*>(page->CreateWidget(zl::wkLabel));
        label->SetAutoSize(false);
        label->SetBounds(8, 8 + row * 62, 496, 56);
        label->SetColor(0x00000040 << (row * 4));
        label->Font().SetColor(0x0000FFFF >> row);
        label->Font().SetHeight(-40);
        label->SetCaption("ZorLED 0123456789 ABCDEF");
    }
    return page;
}

zl::LedOutputConfig Output(zl::LedProtocol protocol, int port, bool white = false) {
    zl::LedOutputConfig o;
    o.section = "output1";
    o.protocol = protocol;
    if (protocol == zl::LedProtocol::ArtNet) o.universe = 0;
    o.host = "127.0.0.1";
    o.port = port;
    o.width = kWidth;
    o.height = kHeight;
    o.serpentine = true;
    o.start = zl::PanelStart::BottomLeft;
    o.colors = white ? zl::ColorOrder::GRBW : zl::ColorOrder::GRB;
    o.brightness = 80;
    o.gamma = 2.2;
    return o;
}

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The per cent of one core that 40 frames a second take, from the thread's own CPU time.
void ReportCore(benchmark::State& state, double cpuSeconds) {
    const char* names[] = {"ddp", "e131", "artnet"};
    state.SetLabel(std::string(names[state.range(0)]) + (state.range(1) ? " rgbw" : " rgb"));
    state.counters["core_pct_40Hz"] = 100.0 * 40.0 * cpuSeconds / static_cast<double>(state.iterations());
}

void BM_WholeFrame(benchmark::State& state) {
    const auto protocol = static_cast<zl::LedProtocol>(state.range(0));
    Receiver receiver;
    auto page = MakePage();
    zl::LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
    engine.SetOutputs({Output(protocol, receiver.port, state.range(1) != 0)});
    engine.Start();
    const double cpu = ThreadCpuSeconds();
    for (auto _ : state) engine.SendNow(0);
    ReportCore(state, ThreadCpuSeconds() - cpu);
    state.counters["packets"] = static_cast<double>(engine.Stats(0).packets) / static_cast<double>(state.iterations());
    engine.Stop();
}

// The same with a picture that changes wholly every frame (the page's ground alternates), so
// every row is mapped again and every packet refilled: a full-screen scroll's cost.
void BM_WholeFrameChanged(benchmark::State& state) {
    const auto protocol = static_cast<zl::LedProtocol>(state.range(0));
    Receiver receiver;
    auto page = MakePage();
    zl::LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
    engine.SetOutputs({Output(protocol, receiver.port, state.range(1) != 0)});
    engine.Start();
    bool odd = false;
    const double cpu = ThreadCpuSeconds();
    for (auto _ : state) {
        page->SetColor((odd = !odd) ? 0x00301008 : 0x00081030);
        engine.SendNow(0);
    }
    ReportCore(state, ThreadCpuSeconds() - cpu);
    engine.Stop();
}

// The same changed-every-frame frame of a page on show, as in play: the page paints its change
// for the screen (outside the timing: the screen needs it anyway) and the output copies the
// region from what the window drew.
void BM_WholeFrameChangedShown(benchmark::State& state) {
    const auto protocol = static_cast<zl::LedProtocol>(state.range(0));
    Receiver receiver;
    auto page = MakePage();
    page->show();
    QCoreApplication::processEvents();
    zl::LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
    engine.SetOutputs({Output(protocol, receiver.port, state.range(1) != 0)});
    engine.Start();
    bool odd = false;
    for (auto _ : state) {
        state.PauseTiming();
        page->SetColor((odd = !odd) ? 0x00301008 : 0x00081030);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        engine.SendNow(0);
    }
    const char* names[] = {"ddp", "e131", "artnet"};
    state.SetLabel(std::string(names[state.range(0)]) + (state.range(1) ? " rgbw" : " rgb"));
    engine.Stop();
}

// The same datagrams, built once into plain buffers, handed to sendmmsg the same way.
void BM_BareSends(benchmark::State& state) {
    const auto protocol = static_cast<zl::LedProtocol>(state.range(0));
    const zl::LedOutputConfig o = Output(protocol, 0, state.range(1) != 0);
    Receiver receiver;
    const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
    std::vector<std::uint8_t> wire(pixels * static_cast<size_t>(o.Channels()), 0x5A);
    zl::PacketBatch batch;
    zl::E131Options layout;
    layout.channelsPerPixel = o.Channels();
    layout.pixelsPerUniverse = o.UniversePixels();
    if (protocol == zl::LedProtocol::Ddp) {
        zl::DdpFramer ddp(0, o.Channels());
        ddp.Prepare(batch, wire.size());
        ddp.Frame(wire.data(), wire.size(), batch);
    } else if (protocol == zl::LedProtocol::E131) {
        zl::E131Framer e131(zl::InstallationSource(), 1, pixels, layout);
        e131.Prepare(batch);
        e131.Frame(wire.data(), wire.size(), 0, batch);
    } else {
        zl::ArtNetFramer artnet(0, pixels, layout, false);
        artnet.Prepare(batch);
        artnet.Frame(wire.data(), wire.size(), batch);
    }
    std::vector<std::vector<std::uint8_t>> packets;
    for (size_t i = 0; i < batch.Count(); ++i) packets.push_back(batch.Bytes(i));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(receiver.port));
    std::vector<iovec> slices(packets.size());
    std::vector<mmsghdr> messages(packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        slices[i] = {packets[i].data(), packets[i].size()};
        messages[i].msg_hdr.msg_iov = &slices[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &to;
        messages[i].msg_hdr.msg_namelen = sizeof to;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    const double cpu = ThreadCpuSeconds();
    for (auto _ : state) {
        size_t sent = 0;
        while (sent < messages.size()) {
            const int n = ::sendmmsg(fd, messages.data() + sent, static_cast<unsigned>(messages.size() - sent), MSG_DONTWAIT);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(sent);
    }
    ReportCore(state, ThreadCpuSeconds() - cpu);
    ::close(fd);
    state.counters["packets"] = static_cast<double>(packets.size());
}

// The parts of the program's own work, without sending.
void BM_RenderPage(benchmark::State& state) {
    auto page = MakePage();
    QImage picture;
    for (auto _ : state) zl::RenderPagePicture(*page, picture, QRect(0, 0, kWidth, kHeight));
}
BENCHMARK(BM_RenderPage)->Unit(benchmark::kMicrosecond);

void BM_MapRegion(benchmark::State& state) {
    auto page = MakePage();
    QImage picture;
    zl::RenderPagePicture(*page, picture, QRect(0, 0, kWidth, kHeight));
    zl::PixelMap map(Output(zl::LedProtocol::Ddp, 1));
    std::vector<std::uint8_t> wire(static_cast<size_t>(map.Bytes()));
    for (auto _ : state) {
        map.Map(picture, wire.data());
        benchmark::DoNotOptimize(wire.data());
    }
}
BENCHMARK(BM_MapRegion)->Unit(benchmark::kMicrosecond);

// The first argument is the protocol (0 DDP, 1 E1.31, 2 Art-Net), the second 1 for RGBW pixels;
// each whole frame (unchanged picture, then a wholly changed one) runs beside its bare sends.
void Cases(benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMicrosecond); }
BENCHMARK(BM_WholeFrame)->Args({0, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChanged)->Args({0, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({0, 0})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({0, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrame)->Args({1, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChanged)->Args({1, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({1, 0})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({1, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrame)->Args({2, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChanged)->Args({2, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({2, 0})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({2, 0})->Apply(Cases);
BENCHMARK(BM_WholeFrame)->Args({0, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrameChanged)->Args({0, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({0, 1})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({0, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrame)->Args({1, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({1, 1})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({1, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrame)->Args({2, 1})->Apply(Cases);
BENCHMARK(BM_WholeFrameChangedShown)->Args({2, 1})->Apply(Cases);
BENCHMARK(BM_BareSends)->Args({2, 1})->Apply(Cases);

}  // namespace

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
