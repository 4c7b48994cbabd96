// The designer with thousands of widgets: paste, Ctrl+A and undo of a paste must grow linearly
// with the widgets (30,000 labels within 12 times the time of 3,000).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <memory>

#include "benchmain.h"
#include "page/frmzorledform.h"
#include "page/pageclipboard.h"

namespace {

std::string LabelsText(std::int64_t count) {
    std::string text = "object P: TFrmZorLedForm\r\n";
    for (std::int64_t n = 1; n <= count; ++n)
        text += "  object mylabel" + std::to_string(n) + ": Tzorledlabel\r\n    Left = " + std::to_string(n % 600) +
                "\r\n    Top = " + std::to_string(n / 600 % 400) +
                "\r\n    Width = 100\r\n    Height = 20\r\n    Caption = 'label'\r\n  end\r\n";
    return text + "end\r\n";
}

std::unique_ptr<zl::TFrmZorLedForm> NewPage() {
    std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
    page->SetBounds(0, 0, 806, 626);
    page->show();
    return page;
}

// Each case ends with the page painted, as the operator sees it: the events the change posted
// (polish, layout, update) are handled as the event loop would before the next key press.
void Painted(zl::TFrmZorLedForm& page) {
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(page.grab().width());
}

void BM_Paste(benchmark::State& state) {
    const std::string text = LabelsText(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto page = NewPage();
        state.ResumeTiming();
        zl::PasteText(*page, text);
        Painted(*page);
        state.PauseTiming();
        page.reset();
        state.ResumeTiming();
    }
}

void BM_SelectAll(benchmark::State& state) {
    auto page = NewPage();
    zl::PasteText(*page, LabelsText(state.range(0)));
    for (auto _ : state) {
        page->Selection->Clear();
        page->SelectAll();
        Painted(*page);
    }
}

void BM_UndoPaste(benchmark::State& state) {
    const std::string text = LabelsText(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto page = NewPage();
        zl::PasteText(*page, text);
        Painted(*page);
        state.ResumeTiming();
        page->History->Stack().undo();
        Painted(*page);
        state.PauseTiming();
        page.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_Paste)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SelectAll)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_UndoPaste)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return zl::bench::RunBenchmarks(argc, argv); }
