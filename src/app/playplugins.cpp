#include "app/playplugins.h"

#include "editors/playfiles.h"

namespace zl {

HostPlayPlugins::HostPlayPlugins() : list_(PageFilePath) {}

void HostPlayPlugins::Start(const StringList& pageList) {
    pages_ = pageList;
    list_.PageList = &pages_;
    list_.CollectDataModules();
    started_ = true;
    list_.InitDataModules();
}

void HostPlayPlugins::Stop() {
    // Only what a start initialised is uninitialised, and only once.
    if (!started_) return;
    started_ = false;
    list_.UnInitDataModules();
}

}  // namespace zl
