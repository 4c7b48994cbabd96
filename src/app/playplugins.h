#pragma once
#include <memory>

#include "core/textlist.h"
#include "plugins/dlllistclass.h"

namespace zl {

// The data-module calls of a play run, behind a seam so play tests can record them.
class PlayPlugins {
public:
    virtual ~PlayPlugins() = default;
    // Initialises the data modules named by the pages of the run.
    virtual void Start(const StringList& pageList) = 0;
    // Uninitialises what Start initialised; harmless when Start did nothing or failed.
    virtual void Stop() = 0;
};

class NoPlayPlugins : public PlayPlugins {
public:
    void Start(const StringList&) override {}
    void Stop() override {}
};

// The plug-in host's data-module list: collect and initialise at play start, uninitialise at stop.
class HostPlayPlugins : public PlayPlugins {
public:
    HostPlayPlugins();
    void Start(const StringList& pageList) override;
    void Stop() override;
    Tdlllistclass& List() { return list_; }

private:
    Tdlllistclass list_;
    StringList pages_;
    bool started_ = false;
};

}  // namespace zl
