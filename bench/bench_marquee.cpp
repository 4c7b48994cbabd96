// One marquee frame on a 1920 × 64 marquee with 40 Chinese characters at 24 px, beside its
// floor: one fill of the same rectangle plus Qt's own drawText of the same text and font.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
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

    Scene() {
        marquee = std::make_unique<zl::Tzorledzmd>(nullptr);
        marquee->SetBounds(0, 0, kWidth, kHeight);
        marquee->SetColor(zl::clBlack);
        marquee->Font().SetName(zl::Utf8ToGbk("宋体"));
        marquee->Font().SetHeight(-24);
        marquee->Font().SetColor(zl::clRed);
        marquee->SetTextLayout(zl::tlCenter);
        marquee->SetRunningCaption(zl::Utf8ToGbk(kText));
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
