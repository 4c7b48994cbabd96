// Smooth text engine: the mask path against the supersampled draw it cannot avoid, and the
// filters and blending per megapixel.
#include <benchmark/benchmark.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "aatext/canvas.h"
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
// mask does (32-bit) and into an 8-bit grey one.
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
