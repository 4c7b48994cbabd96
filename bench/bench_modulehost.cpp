// One Plugingetdata through the data-module host (the request down the pipe, the call in the
// host, the reply back) against the same call made directly in this process, in the same run.
// The module is the shipped example that writes the time into its text file.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "benchmain.h"
#include "plugins/modulerunner.h"

namespace {

const std::string kModule = ZORLED_TIMEDATA_MODULE;

void BM_GetDataDirectCall(benchmark::State& state) {
    void* library = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        state.SkipWithError(dlerror());
        return;
    }
    auto init = reinterpret_cast<void (*)()>(dlsym(library, "PluginInit"));
    auto call = reinterpret_cast<void (*)()>(dlsym(library, "Plugingetdata"));
    auto uninit = reinterpret_cast<void (*)()>(dlsym(library, "PluginUnInit"));
    if (init) init();
    for (auto _ : state) call();
    if (uninit) uninit();
    dlclose(library);
}
BENCHMARK(BM_GetDataDirectCall)->Unit(benchmark::kMicrosecond);

void BM_GetDataThroughHost(benchmark::State& state) {
    zl::ModuleRunner& runner = zl::ModuleRunner::Instance();
    // Blocking for the reply: the round trip alone, without the event loop's turn around it.
    runner.SetAwaitReplies(true);
    runner.Start({kModule});
    for (auto _ : state) {
        bool returned = false;
        runner.Call(kModule, [&](bool ok) { returned = ok; });
        if (!returned) {
            state.SkipWithError("the call through the host failed");
            break;
        }
    }
    runner.Stop();
}
BENCHMARK(BM_GetDataThroughHost)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    const auto text = std::filesystem::temp_directory_path() / ("zorled-bench-time-" + std::to_string(getpid()) + ".txt");
    ::setenv("ZORLED_TIMEDATA_FILE", text.c_str(), 1);
    return zl::bench::RunBenchmarks(argc, argv, {}, [&] { std::filesystem::remove(text); });
}
