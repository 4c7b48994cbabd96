#pragma once
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QString>

#include "core/textlist.h"

// Data modules run each in a host process of its own (zorled-modulehost), so that a module that
// hangs, crashes or leaks never stops the program. One runner serves the whole process: play,
// the tool's render, stream and play, and a sign all go through ModuleRunner::Instance().
//
// Use: Start(modules) at play start, Call(module, done) at each refresh pass, Stop() at play
// stop. Everything runs on the thread that owns the Qt event loop; replies arrive through it.
namespace zl {

// A call not returned after this long ends its host.
constexpr int kModuleCallTimeoutMs = 60000;
// A host above this resident size is recycled; ZORLED_MODULE_MEMORY_LIMIT_MB overrides it.
constexpr long kDefaultModuleMemoryLimitMb = 256;

// The host executable: $ZORLED_MODULE_HOST, else beside the running executable, else the
// installed one, else the one of the build tree.
std::filesystem::path ModuleHostPath();

// A failed call besides its report, for the play log: `kind` is "timeout" (no reply within the
// limit), "ended" (the host died; `detail` says how) or "recycled" (above the memory limit;
// `detail` is the resident size in MB). `module` is the module's file.
using ModuleFailureListener =
    std::function<void(std::string_view kind, const std::string& module, const std::string& detail)>;

class ModuleRunner {
public:
    static ModuleRunner& Instance();
    ModuleRunner();
    ~ModuleRunner();
    ModuleRunner(const ModuleRunner&) = delete;
    ModuleRunner& operator=(const ModuleRunner&) = delete;

    // Play start: ends any hosts left, starts one host per module file named and calls
    // PluginInit once per mention, in list order. Names are stored names (see FindLibraryFile);
    // a module that is not found is left out, as a missing module always was.
    void Start(const StringList& modules);
    // Play stop: PluginUnInit once per mention, then every host ends, waiting a moment at most.
    void Stop();

    // Asks the module for its data. `done(true)` runs once Plugingetdata has returned (or at
    // once when the module is missing or lacks the export: the file is read as it is);
    // `done(false)` when the call failed: the host died, timed out or was recycled, which is
    // reported once. A host that is down is started again here, with PluginInit once per
    // mention of its module. `done` runs later from the event loop, or before Call returns
    // when replies are awaited (SetAwaitReplies) or there is nothing to call. `place` (see
    // InPlace) names the widget asking; a failure's report ends with those waiting.
    void Call(const std::string& module, std::function<void(bool returned)> done, const QString& place = {});

    // The tool on virtual time has no event loop to wait in: Call then blocks until the reply,
    // on real time up to the timeout.
    void SetAwaitReplies(bool await) { await_ = await; }
    // Told of each failed call; an empty listener tells no one.
    void SetFailureListener(ModuleFailureListener listener) { failed_ = std::move(listener); }
    // Hosts running now (tests).
    int RunningHosts() const;
    // The process id of the module's host, 0 when none runs (tests, measurements).
    long HostProcessId(const std::string& module) const;

    class Host;

private:
    Host* HostFor(const std::filesystem::path& file);

    std::map<std::filesystem::path, std::unique_ptr<Host>> hosts_;
    bool await_ = false;
    ModuleFailureListener failed_;
};

}  // namespace zl
