#pragma once
#include "core/textlist.h"

namespace zl {

// The data-module calls of a play run. The plug-in host fills them in; until it does, play
// hands over to a host that does nothing.
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

}  // namespace zl
