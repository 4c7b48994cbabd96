#pragma once
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace zl {

// Runs with the system's time zone set to `zone`, and restores the one before.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    std::optional<std::string> old_;
};

}  // namespace zl
