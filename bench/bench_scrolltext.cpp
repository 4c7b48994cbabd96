// Scroll-text boards: one scroll tick against one copy of the frame, a rebuild of 200 tagged lines
// against the bare text output of the same lines, and a 20,000-line board's first frame.
// Run the memory cases one per process (--benchmark_filter) to read their peak as its own.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

#include "aatext/scrolltext.h"
#include "app/headless.h"
#include "core/codepage.h"
#include "core/textlist.h"

namespace zl {
namespace {

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

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

// Draw of one tick (band copy into CurrBmp, fade bands) and the copy to the control's surface.
void BM_ScrollTick(benchmark::State& state) {
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Text().SetLines(TaggedLines(200));
    board.Paint();
    board.TextBmpHeight();
    QImage surface(1920, 1080, QImage::Format_RGB32);
    int position = 0;
    board.MoveTo(1);
    board.MoveTo(0);  // every band on view is rendered once before timing
    for (auto _ : state) {
        position = (position + 1) % 1000;
        board.MoveTo(position);
        QPainter painter(&surface);
        board.Present(painter);
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_ScrollTick)->Unit(benchmark::kMillisecond);

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

// A rebuild of 200 tagged lines: layout and every band of the text bitmap.
void BM_Rebuild200(benchmark::State& state) {
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Text().SetLines(TaggedLines(200));
    board.Paint();
    for (auto _ : state) {
        board.Text().SetRowPitch(board.Text().RowPitch() == 20 ? 21 : 20);  // a change rebuilds
        benchmark::DoNotOptimize(board.TextBmpImage().constBits());
    }
    state.counters["height"] = board.TextBmpHeight();
    state.counters["peakMB"] = PeakMegabytes();
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

// A rebuild as the operator sees it: the text laid out and its first frame on the surface.
void BM_FirstFrame(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("zorled-bench-board-" + std::to_string(lines) + ".txt");
    WriteTextList(file, TaggedLines(lines));
    TSmoothScrollText board(nullptr);
    Configure(board, 1920, 1080);
    board.Paint();
    QImage surface(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        // What a refresh pass of a file-fed board does: read the file, replace the lines.
        const StringList lines = ReadTextList(file);
        if (lines == board.Text().Lines()) board.Changed();
        else board.Text().SetLines(lines);
        QPainter painter(&surface);
        board.Present(painter);
        benchmark::DoNotOptimize(surface.constBits());
    }
    state.counters["peakMB"] = PeakMegabytes();
    // The rest of the layout, which play does step by step between ticks.
    board.TextBmpHeight();
    state.counters["height"] = board.TextBmpHeight();
    state.counters["peakMBlaidOut"] = PeakMegabytes();
    std::filesystem::remove(file);
}
BENCHMARK(BM_FirstFrame)->Arg(200)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zl

int main(int argc, char** argv) {
    zl::ChooseHeadlessPlatform();
    QApplication app(argc, argv);
    zl::PrepareProgram();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
