#pragma once
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "qtbase/control.h"

namespace zl {

enum TDisplayType { DTclock, DTdays, DTweek };
extern const NameTable kDisplayTypeNames;

// A panel's border knows only bsNone and bsSingle, with the form's ordinals.
extern const NameTable kPanelBorderStyleNames;

// A panel whose caption shows the date and time, a day count or the weekday, recomputed
// once a second from construction on, in design and play mode alike.
class Tzorclock : public QWidget, public Control {
    Q_OBJECT
public:
    explicit Tzorclock(Component* owner, QWidget* parent = nullptr);
    ~Tzorclock() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    bool IsWindowed() const override { return true; }
    // A format left empty is not written to the page file, so it must not come back as the
    // constructor's pattern when the file is read.
    void Loading() override;

    void UpdateDisplay();

    // The clock's own values; a change shows at the next tick.
    int DisplayType = DTclock;
    std::string DATEFORMAT;
    std::string startdate;

    int Alignment() const { return alignment_; }
    void SetAlignment(int v);
    int BevelInner() const { return bevelInner_; }
    void SetBevelInner(int v);
    int BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(int v);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v);
    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int v);
    bool AutoSize = false;
    bool UseDockManager = true;
    bool DockSite = false;
    bool FullRepaint = true;
    bool Locked = false;
    bool ParentBackground = false;
    bool TabStop = false;

    // Position among the windowed siblings; a value read from a page file orders them.
    int TabOrder() const;
    void SetTabOrder(int v) { tabOrderKey_ = v; }

    const Timer& ClockTimer() const { return *timer_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Timer> timer_;
    int alignment_ = taCenter;
    int bevelInner_ = bvNone;
    int bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    int borderStyle_ = bsNone;
    std::optional<int> tabOrderKey_;
};

}  // namespace zl
