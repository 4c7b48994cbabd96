// One marquee frame on a 1920 × 64 marquee with 40 Chinese characters at 24 px, beside its
// floor: one fill of the same rectangle plus Qt's own drawText of the same text and font; and
// the frame of a 1 MB text beside the frame of a text that just fills the visible width; and a 4K
// sign's marquee beside Qt's fill of its area.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "benchmain.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "widgets/paint.h"
#include "widgets/zorledzmd.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 64;
constexpr int kSpeed = 20;

// 40 characters.
const char* const kText = "欢迎光临本站列车运行正常请旅客朋友们注意安全保管好随身携带的物品祝您旅途愉快平安";

struct Scene {
    zl::ManualTimeSource manual{0};
    zl::ScopedTimeSource scope{manual};
    std::unique_ptr<zl::Tzorledzmd> marquee;
    QImage image{kWidth, kHeight, QImage::Format_RGB32};

    explicit Scene(const std::string& gbk = zl::Utf8ToGbk(kText)) {
        marquee = std::make_unique<zl::Tzorledzmd>(nullptr);
        marquee->SetBounds(0, 0, kWidth, kHeight);
        marquee->SetColor(zl::clBlack);
        marquee->Font().SetName(zl::Utf8ToGbk("宋体"));
        marquee->Font().SetHeight(-24);
        marquee->Font().SetColor(zl::clRed);
        marquee->SetTextLayout(zl::tlCenter);
        marquee->SetRunningCaption(gbk);
        marquee->SetSteps(400);
        marquee->SetSpeed(kSpeed);
        marquee->SetContinuous(true);
        marquee->SetActive(true);
    }
};

// The frame timer's tick (step, DrawFrame) and the paint it asks for.
void BM_MarqueeFrame(benchmark::State& state) {
    Scene scene;
    QPainter painter(&scene.image);
    for (auto _ : state) {
        scene.manual.Advance(kSpeed);
        scene.marquee->PaintFrame(painter);
    }
    benchmark::DoNotOptimize(scene.image.constBits());
}
BENCHMARK(BM_MarqueeFrame);

// 80 characters of 24 px fill the 1920 pixels; 1 MB is 524288 of them.
std::string Repeated(size_t characters) {
    const std::string one = zl::Utf8ToGbk(kText);  // 40 characters, 80 bytes
    std::string text;
    while (text.size() < characters * 2) text += one;
    text.resize(characters * 2);
    return text;
}

// A frame in the middle of the pass, where the long text fills the whole width.
void LongTextFrame(benchmark::State& state, size_t characters) {
    Scene scene(Repeated(characters));
    scene.marquee->SetSteps(1000000);
    scene.marquee->SetDirection(zl::diRightToLeft);
    QPainter painter(&scene.image);
    scene.manual.Advance(static_cast<std::int64_t>(kSpeed) * 500000);
    for (auto _ : state) {
        scene.manual.Advance(kSpeed);
        scene.marquee->PaintFrame(painter);
    }
    benchmark::DoNotOptimize(scene.image.constBits());
}
void BM_MarqueeFrameFullWidthText(benchmark::State& state) { LongTextFrame(state, 80); }
BENCHMARK(BM_MarqueeFrameFullWidthText);
void BM_MarqueeFrameOneMegabyteText(benchmark::State& state) { LongTextFrame(state, 512 * 1024); }
BENCHMARK(BM_MarqueeFrameOneMegabyteText);

// Lays out the marquee's new text slice by slice as its timer would, and reports the longest
// slice: the longest the GUI thread is held by it.
double LayOut(Scene& scene) {
    using Wall = std::chrono::steady_clock;
    double longest = 0;
    auto start = Wall::now();
    scene.marquee->TextBox();
    do {
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Wall::now() - start).count());
        start = Wall::now();
        scene.manual.Advance(1);
    } while (scene.marquee->LayingOut());
    return std::max(longest, std::chrono::duration<double, std::milli>(Wall::now() - start).count());
}

// Measuring a new text once: what a data pass with a changed 1 MB file costs.
void BM_MarqueeOneMegabyteTextChange(benchmark::State& state) {
    Scene scene;
    const std::string a = Repeated(512 * 1024), b = "x" + a.substr(1);
    bool flip = false;
    double longest = 0;
    for (auto _ : state) {
        scene.marquee->SetRunningCaption((flip = !flip) ? a : b);
        longest = std::max(longest, LayOut(scene));
    }
    state.counters["longest_slice_ms"] = longest;
}
BENCHMARK(BM_MarqueeOneMegabyteTextChange)->Unit(benchmark::kMillisecond)->Iterations(3);

std::filesystem::path BenchFile(const char* name) { return std::filesystem::temp_directory_path() / name; }

// A refresh pass from an emptied marquee: the file is read, converted and joined at once.
void Pass(Scene& scene, const std::filesystem::path& file) {
    scene.marquee->SetRunningCaption("");
    scene.marquee->TextBox();
    scene.marquee->LoadRunningCaption(file.string());
}

// A refresh pass over a data file of 1,000,000 short lines: what the GUI thread does at once
// (read, convert, join); the layout that follows goes in slices, the longest reported.
void BM_DataPassMillionLines(benchmark::State& state) {
    const auto file = BenchFile("zorled-bench-million.txt");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 1000000; ++i) out << zl::Utf8ToGbk("第") << i << "\r\n";
    }
    Scene scene;
    double longest = 0;
    for (auto _ : state) {
        Pass(scene, file);
        state.PauseTiming();
        longest = std::max(longest, LayOut(scene));
        state.ResumeTiming();
    }
    state.counters["longest_slice_ms"] = longest;
    std::filesystem::remove(file);
}
BENCHMARK(BM_DataPassMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// A 15 MB single line from a data file: from the pass until the text is laid out and shown,
// with the longest slice and the process's peak memory.
void BM_FifteenMegabyteTextShown(benchmark::State& state) {
    const auto file = BenchFile("zorled-bench-15mb.txt");
    {
        std::ofstream out(file, std::ios::binary);
        std::string line;
        while (line.size() < 15u * 1024 * 1024 - 2) line += zl::Utf8ToGbk(kText);
        line.resize(15u * 1024 * 1024 - 2);
        out << line << "\r\n";
    }
    Scene scene;
    double longest = 0;
    for (auto _ : state) {
        Pass(scene, file);
        longest = std::max(longest, LayOut(scene));
        QPainter painter(&scene.image);
        scene.marquee->PaintFrame(painter);
    }
    state.counters["longest_slice_ms"] = longest;
    state.counters["peak_MB"] = PeakKilobytes() / 1024.0;
    std::filesystem::remove(file);
}
BENCHMARK(BM_FifteenMegabyteTextShown)->Unit(benchmark::kMillisecond)->Iterations(1);

// A 4K sign's marquee: 3840 x 160 in a 120-pixel font, which Qt fills as outlines on every
// draw. The frame from the picture of the text the marquee keeps, the same frame drawn afresh
// (no memory allowed for that picture: what every frame cost before), and the floor, Qt's fill
// of the same area.
constexpr int k4KWidth = 3840, k4KHeight = 160;

void Marquee4K(benchmark::State& state, size_t budget) {
    zl::ManualTimeSource manual{0};
    zl::ScopedTimeSource scope{manual};
    zl::Tzorledzmd marquee(nullptr);
    marquee.SetBounds(0, 0, k4KWidth, k4KHeight);
    marquee.SetColor(zl::clBlack);
    marquee.Font().SetName("DejaVu Sans");
    marquee.Font().SetHeight(-120);
    marquee.Font().SetColor(zl::clRed);
    marquee.SetTextLayout(zl::tlCenter);
    marquee.SetRunningCaption("ZorLED marquee 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz");
    marquee.SetDirection(zl::diRightToLeft);
    marquee.SetSteps(10000);
    marquee.SetSpeed(16);
    marquee.SetContinuous(true);
    marquee.SetActive(true);
    const size_t before = zl::Tzmd::StripBudget();
    zl::Tzmd::SetStripBudget(budget);
    QImage image(k4KWidth, k4KHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    // Into the pass, where the text fills the width.
    manual.Advance(16 * 4000);
    for (auto _ : state) {
        manual.Advance(16);
        marquee.PaintFrame(painter);
    }
    zl::Tzmd::SetStripBudget(before);
    benchmark::DoNotOptimize(image.constBits());
}
void BM_Marquee4KFrame(benchmark::State& state) { Marquee4K(state, zl::Tzmd::StripBudget()); }
BENCHMARK(BM_Marquee4KFrame);
void BM_Marquee4KFrameDrawnAfresh(benchmark::State& state) { Marquee4K(state, 0); }
BENCHMARK(BM_Marquee4KFrameDrawnAfresh);

void BM_Marquee4KFillFloor(benchmark::State& state) {
    QImage image(k4KWidth, k4KHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    for (auto _ : state) painter.fillRect(image.rect(), Qt::black);
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_Marquee4KFillFloor);

// The floor: the same fill and the same text, moved the same way, straight through Qt.
void BM_FillAndDrawTextFloor(benchmark::State& state) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    const QFont font = zl::Control::ToQFont([] {
        zl::TFont f;
        f.SetName(zl::Utf8ToGbk("宋体"));
        f.SetHeight(-24);
        return f;
    }());
    const QString text = QString::fromUtf8(kText);
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(text) + 2;
    const int y = (kHeight - metrics.height() - 2) / 2 + metrics.ascent();
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 400;
        painter.fillRect(image.rect(), Qt::black);
        painter.setFont(font);
        painter.setPen(Qt::red);
        painter.drawText((w + kWidth) * step / 400 - w, y, text);
    }
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_FillAndDrawTextFloor);

}  // namespace

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
