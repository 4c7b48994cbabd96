#pragma once
#include <filesystem>

#include "fleet/fleetconfig.h"

namespace zl::testing {

// The one sign most fleet cases need: "s1" in group "g", trusting the given publisher key.
inline FleetConfig SignS1OfGroupG(const std::filesystem::path& publisherKey) {
    FleetConfig config;
    config.sign = "s1";
    config.groups = {"g"};
    config.publisherKey = publisherKey;
    return config;
}

}  // namespace zl::testing
