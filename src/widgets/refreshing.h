#pragma once

namespace zl {

// Widgets fed by a data refresher (marquees and boards); play starts and stops them.
class RefreshingWidget {
public:
    virtual ~RefreshingWidget() = default;
    virtual void StartRefresh() = 0;
    virtual void StopRefresh() = 0;
    virtual bool RefreshIdle() const = 0;
};

}  // namespace zl
