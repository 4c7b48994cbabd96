// Opening a page of many labels as the program does, beside parsing the same page text alone:
// opening must grow linearly with the labels, as parsing does (40,000 labels within 5 times
// the time of 10,000).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "benchmain.h"
#include "core/atomicfile.h"
#include "core/pagetext/parser.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"

namespace {

std::filesystem::path g_folder;

std::filesystem::path PageOf(std::int64_t labels) {
    return g_folder / ("labels" + std::to_string(labels) + ".DFM");
}

// A page as the designer writes it: labels placed on a grid, each with its own font.
void WritePage(std::int64_t labels) {
    std::string text = "object LedDesignWin: TFrmZorLedForm\r\n  ClientHeight = 600\r\n  ClientWidth = 800\r\n";
    for (std::int64_t n = 1; n <= labels; ++n) {
        const std::string i = std::to_string(n);
        text += "  object mylabel" + i + ": Tzorledlabel\r\n    Left = " + std::to_string(n % 700) +
                "\r\n    Top = " + std::to_string(n / 700 % 580) +
                "\r\n    Width = 100\r\n    Height = 20\r\n    AutoSize = False\r\n    Caption = #26631#31614'" + i +
                "'\r\n    Font.Charset = DEFAULT_CHARSET\r\n    Font.Color = clRed\r\n    Font.Height = -15\r\n"
                "    Font.Name = #23435#20307\r\n    Font.Style = []\r\n    ParentFont = False\r\n"
                "    Transparent = False\r\n  end\r\n";
    }
    text += "end\r\n";
    zl::WriteFileAtomic(PageOf(labels), text);
}

void BM_ParsePageText(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(zl::pagetext::Parse(zl::ReadWholeFile(PageOf(state.range(0)))));
    state.counters["per_label"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                        benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}

// Open as the main window does (fresh page window, read, hook, stop) and close again. The longest
// open is what the service's watchdog must outlast (WatchdogSec= is twice the ping interval).
void BM_OpenPage(benchmark::State& state) {
    double longest = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
        zl::LoadPageFile(*page, PageOf(state.range(0)));
        page->HookAllWidgets();
        page->StopWidgets();
        benchmark::DoNotOptimize(page->ChildControls().size());
        page.reset();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["longest_ms"] = longest;
    state.counters["per_label"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                        benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}

BENCHMARK(BM_ParsePageText)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenPage)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return zl::bench::RunBenchmarks(
        argc, argv,
        [] {
            g_folder = std::filesystem::temp_directory_path() / ("zorled-bench-pageload-" + std::to_string(::getpid()));
            std::filesystem::create_directories(g_folder);
            WritePage(10000);
            WritePage(40000);
        },
        [] { std::filesystem::remove_all(g_folder); });
}
