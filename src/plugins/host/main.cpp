// zorled-modulehost: runs one data module for the program, so that a module that hangs, crashes
// or leaks costs this process and never the sign.
//
// Usage: zorled-modulehost <module file>
// Requests on standard input, one byte each: 'I' PluginInit, 'G' Plugingetdata, 'U' PluginUnInit.
// Each request is answered on standard output by one byte once the call has returned: 'k' done,
// 'm' the module has no such export, 'f' the export is not a function, 'l' the module does not
// load. The host ends at the end of its input and when the program ends.
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "plugins/sdk/zorled_plugin.h"

namespace {

int replyFd = -1;

struct Lookup {
    const void* address;
    bool executable;
};

// True when the address lies in an executable segment of a loaded object: a data symbol of
// the right name is refused rather than jumped into.
bool IsCode(const void* address) {
    Lookup lookup{address, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* l = static_cast<Lookup*>(data);
            const auto a = reinterpret_cast<ElfW(Addr)>(l->address);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                const ElfW(Addr) start = info->dlpi_addr + ph.p_vaddr;
                if (a >= start && a < start + ph.p_memsz) {
                    l->executable = (ph.p_flags & PF_X) != 0;
                    return 1;
                }
            }
            return 0;
        },
        &lookup);
    return lookup.executable;
}

// Ends every process of the host's group. At the end of its input the host itself exits
// normally (the program ends the group for good); when the program is gone no one else will.
[[noreturn]] void EndGroup(int signal) {
    if (::getpgrp() == ::getpid()) {
        if (signal != 0) ::kill(0, SIGKILL);
        ::signal(SIGTERM, SIG_IGN);
        ::kill(0, SIGTERM);
    }
    ::_exit(0);
}

// The host adopts the orphans of its module's children: their ends are collected after each
// call, so a module that forks at every call leaves no zombies piling up over months.
void ReapOrphans() {
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

void Reply(char c) {
    while (::write(replyFd, &c, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorled-modulehost <module file>\n");
        return 2;
    }
    // A host outliving the program would keep a module running for nobody; what the module
    // started goes with it (the program starts the host as the leader of its own group).
    ::signal(SIGTERM, EndGroup);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1) EndGroup(SIGTERM);
    // Replies get a descriptor of their own: whatever the module prints goes to standard error.
    replyFd = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // Modules share the program's allocator; keep it loaded whatever the linker drops.
    volatile auto keep = &zorled_mm_free;
    (void)keep;

    void* module = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) std::fprintf(stderr, "%s\n", ::dlerror());
    char request;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &request, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const char* name = request == 'I' ? "PluginInit" : request == 'G' ? "Plugingetdata" : request == 'U' ? "PluginUnInit" : nullptr;
        if (!name) continue;
        if (!module) {
            Reply('l');
            continue;
        }
        void* address = ::dlsym(module, name);
        if (!address) {
            Reply('m');
            continue;
        }
        if (!IsCode(address)) {
            Reply('f');
            continue;
        }
        reinterpret_cast<void (*)()>(address)();
        std::fflush(nullptr);
        ReapOrphans();
        Reply('k');
    }
    EndGroup(0);
}
