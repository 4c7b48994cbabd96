// Scroll-text boards: one scroll tick against one copy of the frame, a rebuild of 200 tagged lines
// against the bare text output of the same lines, and the refresh passes of a board fed by a file
// of 200 and of 20,000 lines: the first frame of each pass, the longest step of the layout that
// follows it, and the process's peak memory over the case.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <time.h>

#include "aatext/scrolltext.h"
#include "benchmain.h"
#include "core/codepage.h"
#include "core/textlist.h"
#include "widgets/zorscrolltext.h"

namespace zl {
namespace {

// The process's peak resident memory since the last ResetPeak, in megabytes.
double PeakMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// This thread's processor time: a step's own cost, whatever else the shared machine runs.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Lets each case read its own peak, not the highest of the cases before it.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Tagged Chinese lines: a title every tenth line, body text between, both 24 pixels with shadow.
StringList TaggedLines(int count) {
    const std::string title = Utf8ToGbk("<Title>第");
    const std::string body = Utf8ToGbk("<Body>深圳市显示系统滚动文字测试效果平滑字体演示第");
    StringList lines;
    for (int i = 0; i < count; ++i) lines.push_back((i % 10 == 0 ? title : body) + std::to_string(i) + Utf8ToGbk("行"));
    return lines;
}

void Configure(TSmoothScrollText& board, int width, int height) {
    board.SetScrollQuality(tqLow);
    board.SetBounds(0, 0, width, height);
    TScrollTextParam& text = board.Text();
    text.SetQuality(TSmoothQuality::aqNormal);
    text.SetFadeHeight(10);
    text.SetFade(true);
    text.Font().SetName(Utf8ToGbk("宋体"));
    text.Font().SetHeight(-24);
    text.FontEffect().Shadow().SetEnabled(true);
    board.SetColor(0x000000);
    TFontLabel* title = board.Fonts().AddItem("Title", Utf8ToGbk("黑体"), 18, 0x00FFFF, Bit(fsBold), true, 2, 2);
    title->Font().SetHeight(-24);
    TFontLabel* body = board.Fonts().AddItem("Body", Utf8ToGbk("宋体"), 18, 0x00FF00, 0, true, 1, 1);
    body->Font().SetHeight(-24);
    text.SetLabelEffect(leOnlyALine);
}

// Draw of one tick (the frame into CurrBmp, fade bands) and the copy to the control's surface.
// A step of 1 row is the scroll as it runs: the frame before is reused. A step longer than the
// screen composes every frame anew from the bands, as the first frame after a wrap or a rebuild.
void BM_ScrollTick(benchmark::State& state) {
    const int step = static_cast<int>(state.range(0));
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Text().SetLines(TaggedLines(200));
    board.Paint();
    board.TextBmpHeight();
    QImage surface(1920, 1080, QImage::Format_RGB32);
    const int cycle = step == 1 ? 1000 : 2 * step;
    for (int p = 0; p < cycle + 1080; p += 256) board.MoveTo(p);  // bands on view rendered before timing
    board.MoveTo(0);
    int position = 0;
    for (auto _ : state) {
        position = (position + step) % cycle;
        board.MoveTo(position);
        QPainter painter(&surface);
        board.Present(painter);
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_ScrollTick)->Arg(1)->Arg(1100)->Unit(benchmark::kMillisecond);

// The floor of a tick: one copy of the frame as held.
void BM_FrameMemcpy(benchmark::State& state) {
    QImage from(1920, 1080, QImage::Format_RGB32), to(1920, 1080, QImage::Format_RGB32);
    from.fill(Qt::red);
    for (auto _ : state) {
        std::memcpy(to.bits(), from.constBits(), static_cast<size_t>(from.sizeInBytes()));
        benchmark::DoNotOptimize(to.constBits());
    }
}
BENCHMARK(BM_FrameMemcpy)->Unit(benchmark::kMillisecond);

// A rebuild of 200 tagged lines: the layout and every band of the text bitmap drawn once, which
// is what the text costs over one cycle of the scroll.
void BM_Rebuild200(benchmark::State& state) {
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Text().SetLines(TaggedLines(200));
    board.Paint();
    for (auto _ : state) {
        board.Text().SetRowPitch(board.Text().RowPitch() == 20 ? 21 : 20);  // a change rebuilds
        // Top to bottom, as the scroll reaches them; each band lays out what it needs.
        for (int band = 0; !board.LayoutComplete() || band * TSmoothScrollText::kBandRows < board.TextBmpHeight();
             ++band)
            benchmark::DoNotOptimize(board.TextBmpBand(band).constBits());
    }
    state.counters["height"] = board.TextBmpHeight();
}
BENCHMARK(BM_Rebuild200)->Unit(benchmark::kMillisecond);

// The floor of a rebuild: the renderer's text output of the same 200 laid-out lines.
void BM_BareTextOut200(benchmark::State& state) {
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Text().SetLines(TaggedLines(200));
    board.Paint();
    const int height = board.TextBmpHeight();
    const std::vector<TextRow> rows = board.Rows();
    QImage target(1920, height, QImage::Format_RGB32);
    TCanvas canvas(&target);
    canvas.Brush.Style = TBrushStyle::bsClear;
    TSmoothFontEx renderer(&canvas);
    renderer.SetQuality(TSmoothQuality::aqNormal);
    for (auto _ : state) {
        for (const TextRow& row : rows) {
            canvas.Font.Assign(row.style->font);
            renderer.Effect().Assign(row.style->effect);
            renderer.TextOut(row.x, row.y, row.text);
        }
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_BareTextOut200)->Unit(benchmark::kMillisecond);

// Refresh passes of a board fed by a file, as play runs them: each pass reads the file and lays
// the text out anew (timed up to its first frame on the surface); the rest of the layout then
// goes on in the steps the board's own timer runs between scroll ticks (not timed as a pass).
// In processor time: the slowest pass "worstPassMs", the longest step "maxStepMs". "peakMB" is
// the process's peak over the whole case.
void BM_FilePass(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("zorled-bench-board-" + std::to_string(count) + ".txt");
    WriteTextList(file, TaggedLines(count));
    ResetPeak();
    TzorScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Paint();
    QImage surface(1920, 1080, QImage::Format_RGB32);
    double maxStepMs = 0;
    int steps = 0;
    double worstPassMs = 0;
    for (auto _ : state) {
        const double start = ThreadCpuMs();
        board.LoadBoardText(file.string());
        {
            QPainter painter(&surface);
            board.Present(painter);
        }
        benchmark::DoNotOptimize(surface.constBits());
        worstPassMs = std::max(worstPassMs, ThreadCpuMs() - start);
        state.PauseTiming();
        for (bool more = true; more;) {
            const double start = ThreadCpuMs();
            more = board.LayoutStep();
            maxStepMs = std::max(maxStepMs, ThreadCpuMs() - start);
            ++steps;
        }
        // A few screens further down, as the scroll reaches them.
        for (int p = 0; p < 4 * 1080; p += 1080) board.MoveTo(p);
        state.ResumeTiming();
    }
    state.counters["height"] = board.TextBmpHeight();
    state.counters["maxStepMs"] = maxStepMs;
    state.counters["worstPassMs"] = worstPassMs;
    state.counters["stepsPerPass"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
    state.counters["heldMB"] = board.HeldBandRows() * 1920.0 * 4 / (1024 * 1024);
    state.counters["peakMB"] = PeakMegabytes();
    std::filesystem::remove(file);
}
BENCHMARK(BM_FilePass)->Arg(200)->Arg(20000)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zl

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
