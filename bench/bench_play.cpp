// How much faster than real time a simulated play run goes: virtual seconds per real second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "benchmain.h"
#include "app/playsimulation.h"
#include "core/textlist.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "qtbase/application.h"

namespace {

// A home with one selected plan of three pages, each holding a few labels and an image.
std::filesystem::path MakeHome() {
    const auto home = std::filesystem::temp_directory_path() / ("zorled-bench-play-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home / "pagedef");
    ::setenv("ZORLED_HOME", home.c_str(), 1);
    const std::pair<const char*, int> pages[] = {{"first", 0}, {"second", 5}, {"third", 10}};
    for (const auto& [name, displaytime] : pages) {
        std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
        page->displaytime = displaytime;
        for (int i = 0; i < 4; ++i) page->CreateWidget(zl::wkLabel);
        page->CreateWidget(zl::wkImage);
        zl::SavePageFile(*page, home / "pagedef" / (std::string(name) + ".DFM"));
    }
    zl::WriteTextList(home / "pagedef" / "main.LED", {"first", "second", "third"});
    zl::WriteTextList(home / "pagedef" / "SelectList.PLN", {"main"});
    return home;
}

void BM_SimulatedPlayRun(benchmark::State& state) {
    const std::int64_t virtualSeconds = state.range(0);
    double realSeconds = 0;
    std::int64_t pages = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        zl::SimulatePlayRun(virtualSeconds, [&](const std::string&) { ++pages; });
        realSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    state.counters["virtual_per_real"] = static_cast<double>(virtualSeconds * state.iterations()) / realSeconds;
    state.counters["pages_per_run"] = static_cast<double>(pages) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SimulatedPlayRun)->Arg(60)->Arg(600)->Arg(3600)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path home;
    return zl::bench::RunBenchmarks(
        argc, argv, [&] { home = MakeHome(); }, [&] { std::filesystem::remove_all(home); });
}
