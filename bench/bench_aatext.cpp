// Smooth text engine: the mask path against Qt's own 1x anti-aliased draw of the same line, the
// glyph cache cold and warm, long lines, the cache's peak, and the filters and blending per
// megapixel.
#include <benchmark/benchmark.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "aatext/canvas.h"
#include "aatext/glyphcache.h"
#include "aatext/smoothfontex.h"
#include "core/codepage.h"
#include "qtbase/fonts.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

const std::string& ChineseLine() {
    static const std::string line = Utf8ToGbk("深圳市显示系统滚动文字测试效果平滑字体演");  // 20 characters
    return line;
}

struct LineSetup {
    LineSetup(TSmoothQuality quality) : target(600, 40, QImage::Format_BGR888), canvas(&target), font(&canvas) {
        target.fill(Qt::black);
        canvas.Font.SetName(Utf8ToGbk("宋体"));
        canvas.Font.SetHeight(-24);
        canvas.Font.SetColor(clWhite);
        canvas.Brush.Style = TBrushStyle::bsClear;
        font.SetQuality(quality);
    }
    QImage target;
    TCanvas canvas;
    TSmoothFont font;
};

// DrawText plus BlendColor of one line: measuring, the enlarged draw, reduction and blending.
void BM_MaskPath(benchmark::State& state) {
    LineSetup setup(static_cast<TSmoothQuality>(state.range(0)));
    for (auto _ : state) {
        setup.font.Mask().DrawText(ChineseLine());
        setup.font.Blend().BlendColor(0, 0, setup.font.Mask(), 100, clWhite);
        benchmark::DoNotOptimize(setup.target.constBits());
    }
    state.SetLabel(std::to_string(setup.font.Mask().Width()) + "x" + std::to_string(setup.font.Mask().Height()));
}

// The same with every glyph new to the cache.
void BM_MaskPathCold(benchmark::State& state) {
    LineSetup setup(static_cast<TSmoothQuality>(state.range(0)));
    for (auto _ : state) {
        GlyphCache::Shared().Clear();
        setup.font.Mask().DrawText(ChineseLine());
        setup.font.Blend().BlendColor(0, 0, setup.font.Mask(), 100, clWhite);
        benchmark::DoNotOptimize(setup.target.constBits());
    }
}

// Qt drawing the same line itself, once, anti-aliased, onto a canvas of the program's format:
// the floor the mask path is measured against.
void BM_QtDraw1x(benchmark::State& state) {
    LineSetup setup(TSmoothQuality::aqNone);
    QImage target(600, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    const QFont qfont = MakeQFont(setup.canvas.Font, 1);
    const int ascent = QFontMetrics(qfont).ascent();
    const QString text = Q(ChineseLine());
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setFont(qfont);
        painter.setPen(Qt::white);
        painter.drawText(QPoint(0, ascent), text);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_QtDraw1x)->Unit(benchmark::kMicrosecond);

// DrawText of long lines, two of each length in turn so that each is shaped anew: time per
// character should stay flat from 100 to 10,000 characters.
void BM_DrawTextLength(benchmark::State& state) {
    LineSetup setup(static_cast<TSmoothQuality>(state.range(0)));
    const int count = static_cast<int>(state.range(1));
    std::string lines[2];
    for (int i = 0; i < count / 20; ++i) {
        lines[0] += ChineseLine();
        lines[1] += ChineseLine();
    }
    lines[1].replace(0, 2, Utf8ToGbk("演"));
    int turn = 0;
    for (auto _ : state) {
        setup.font.Mask().DrawText(lines[turn ^= 1]);
        benchmark::DoNotOptimize(setup.font.Mask().ScanLine(0));
    }
    state.SetComplexityN(count);
    state.counters["us_per_char"] = benchmark::Counter(static_cast<double>(count) * 1e-6,
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}
BENCHMARK(BM_DrawTextLength)->ArgNames({"quality", "chars"})->ArgsProduct({{0, 1}, {100, 1000, 10000}})
    ->Unit(benchmark::kMillisecond);

// Every character of GB2312 levels 1 and 2 (6,763) drawn once at 24 px, normal quality, a line of
// 100 at a time: the most the glyph cache held against its bound.
void BM_CachePeakGb2312(benchmark::State& state) {
    LineSetup setup(TSmoothQuality::aqNormal);
    std::vector<std::string> lines(1);
    int characters = 0;
    for (int row = 0xB0; row <= 0xF7; ++row)
        for (int cell = 0xA1; cell <= 0xFE; ++cell) {
            if (row == 0xD7 && cell > 0xF9) continue;  // the five unassigned places of level 1
            if (lines.back().size() == 200) lines.emplace_back();
            lines.back() += {static_cast<char>(row), static_cast<char>(cell)};
            ++characters;
        }
    GlyphCache& cache = GlyphCache::Shared();
    for (auto _ : state) {
        cache.Clear();
        cache.ResetPeak();
        for (const std::string& line : lines) setup.font.Mask().DrawText(line);
    }
    state.counters["characters"] = characters;
    state.counters["peak_MB"] = static_cast<double>(cache.PeakBytes()) / (1 << 20);
    state.counters["limit_MB"] = static_cast<double>(cache.ByteLimit()) / (1 << 20);
    state.counters["glyphs_kept"] = static_cast<double>(cache.Count());
}
BENCHMARK(BM_CachePeakGb2312)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same with two lines in turn, so that no draw finds its line measured already.
void BM_MaskPathAlternating(benchmark::State& state) {
    LineSetup setup(static_cast<TSmoothQuality>(state.range(0)));
    const std::string lines[2] = {ChineseLine(), Utf8ToGbk("演体字滑平果效试测字文动滚统系示显市圳深")};
    int turn = 0;
    for (auto _ : state) {
        setup.font.Mask().DrawText(lines[turn ^= 1]);
        setup.font.Blend().BlendColor(0, 0, setup.font.Mask(), 100, clWhite);
        benchmark::DoNotOptimize(setup.target.constBits());
    }
}

// Qt alone drawing the same line anti-aliased at the enlarged size into a fresh bitmap, as the
// mask did before it drew glyph by glyph (32-bit), and into an 8-bit grey one.
void BM_QtEnlargedDraw(benchmark::State& state) {
    LineSetup setup(static_cast<TSmoothQuality>(state.range(0)));
    const int scale = ScaleOf(setup.font.Quality());
    const int w = setup.font.TextWidth(ChineseLine()) * scale, h = setup.font.TextHeight(ChineseLine()) * scale;
    const QFont qfont = MakeQFont(setup.canvas.Font, scale);
    const int ascent = QFontMetrics(qfont).ascent();
    const QString text = Q(ChineseLine());
    const QImage::Format format = state.range(1) ? QImage::Format_Grayscale8 : QImage::Format_ARGB32_Premultiplied;
    for (auto _ : state) {
        QImage work(w, h, format);
        work.fill(Qt::black);
        QPainter painter(&work);
        painter.setFont(qfont);
        painter.setPen(Qt::white);
        painter.drawText(QPoint(0, ascent), text);
        painter.end();
        benchmark::DoNotOptimize(work.constBits());
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
}

void QualityArgs(benchmark::internal::Benchmark* b) {
    b->ArgName("quality");
    for (int q = 0; q <= 3; ++q) b->Arg(q);
    b->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_MaskPath)->Apply(QualityArgs);
BENCHMARK(BM_MaskPathCold)->Apply(QualityArgs);
BENCHMARK(BM_MaskPathAlternating)->Apply(QualityArgs);
BENCHMARK(BM_QtEnlargedDraw)->ArgNames({"quality", "grey"})->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// A megapixel of mask with text-like content: runs of ink, edges and empty space.
void FillMegapixel(TSmoothMask& mask) {
    mask.SetSize(1000, 1000);
    std::uint32_t seed = 12345;
    for (int y = 0; y < mask.Height(); ++y) {
        std::uint8_t* row = mask.ScanLine(y);
        for (int x = 0; x < mask.Width(); ++x) {
            seed = seed * 134775813u + 1u;
            const int band = (x / 7 + y / 11) % 3;
            row[x] = band == 0 ? 0 : band == 1 ? 255 : static_cast<std::uint8_t>(seed >> 24);
        }
    }
}

void BM_BlurMegapixel(benchmark::State& state) {
    TSmoothMask source(nullptr), mask(nullptr);
    FillMegapixel(source);
    for (auto _ : state) {
        state.PauseTiming();
        mask.Assign(source);
        state.ResumeTiming();
        mask.Blur(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(mask.ScanLine(0));
    }
}
BENCHMARK(BM_BlurMegapixel)->ArgName("amount")->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_OutlineMegapixel(benchmark::State& state) {
    TSmoothMask source(nullptr), mask(nullptr);
    FillMegapixel(source);
    for (auto _ : state) {
        state.PauseTiming();
        mask.Assign(source);
        state.ResumeTiming();
        mask.Outline();
        benchmark::DoNotOptimize(mask.ScanLine(0));
    }
}
BENCHMARK(BM_OutlineMegapixel)->Unit(benchmark::kMillisecond);

void BM_BlendForegroundMegapixel(benchmark::State& state) {
    QImage target(1000, 1000, QImage::Format_BGR888);
    target.fill(QColor(20, 40, 90));
    TCanvas canvas(&target);
    canvas.Brush.Style = state.range(0) ? TBrushStyle::bsSolid : TBrushStyle::bsClear;
    TSmoothFont font(&canvas);
    FillMegapixel(font.Mask());
    font.Blend().SizeForeBitmap(1000, 1000);
    font.Blend().ForeBitmap().fill(QColor(255, 200, 0));
    for (auto _ : state) {
        font.Blend().BlendForeground(0, 0, font.Mask(), 80);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_BlendForegroundMegapixel)->ArgName("solid")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zl

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    zl::InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
