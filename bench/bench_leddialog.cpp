// GUI time to open the LED输出 dialog on a settings file an installer may well have made by
// mistake (a 1 MB line, 80,000 stray sections), beside the same dialog on a file of one output.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "benchmain.h"
#include "core/atomicfile.h"
#include "output/ledoutputconfig.h"
#include "output/ledoutputdialog.h"

namespace {

std::filesystem::path MakeHome() {
    const auto home = std::filesystem::temp_directory_path() / ("zorled-bench-leddialog-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("ZORLED_HOME", home.c_str(), 1);
    return home;
}

void OpenDialog(benchmark::State& state, const std::string& file) {
    zl::WriteFileAtomic(zl::LedOutputFilePath(), file);
    for (auto _ : state) {
        zl::LedOutputDialog dialog(nullptr, QSize(512, 256));
        dialog.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(dialog.width());
    }
}

void BM_LedDialogOneOutput(benchmark::State& state) {
    OpenDialog(state, "[output1]\nhost=127.0.0.1\nwidth=64\nheight=32\n");
}
BENCHMARK(BM_LedDialogOneOutput)->Unit(benchmark::kMillisecond);

void BM_LedDialogMegabyteLine(benchmark::State& state) {
    OpenDialog(state, "[output1]\nhost=127.0.0.1\n" + std::string(1 << 20, 'w') + "\n");
}
BENCHMARK(BM_LedDialogMegabyteLine)->Unit(benchmark::kMillisecond);

void BM_LedDialog80000Sections(benchmark::State& state) {
    std::string file = "[output1]\nhost=127.0.0.1\n";
    for (int i = 0; i < 80'000; ++i) file += "[odd" + std::to_string(i) + "]\n";
    OpenDialog(state, file);
}
BENCHMARK(BM_LedDialog80000Sections)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const auto home = MakeHome();
    return zl::bench::RunBenchmarks(argc, argv, {}, [&] { std::filesystem::remove_all(home); });
}
