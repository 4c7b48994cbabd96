#include "widgets/zorclock.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <vector>

#include "core/codepage.h"
#include "core/datetimeformat.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "widgets/paint.h"

namespace zl {
namespace {

constexpr NameEntry kDisplayType[] = {{"DTclock", DTclock}, {"DTdays", DTdays}, {"DTweek", DTweek}};
constexpr NameEntry kPanelBorderStyle[] = {{"bsNone", bsNone}, {"bsSingle", bsSingle}};

constexpr TColor clBtnHighlight = static_cast<TColor>(0xFF000014u);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0xFF000015u);

// Indexed by the ISO weekday, Monday 1 to Sunday 7.
const std::string& WeekdayName(int isoDay) {
    static const std::array<std::string, 8> names = {
        "", Utf8ToGbk("星期一"), Utf8ToGbk("星期二"), Utf8ToGbk("星期三"), Utf8ToGbk("星期四"),
        Utf8ToGbk("星期五"), Utf8ToGbk("星期六"), Utf8ToGbk("星期天")};
    return names[std::clamp(isoDay, 1, 7)];
}

const std::string& DaySuffix() {
    static const std::string suffix = Utf8ToGbk("天");
    return suffix;
}

// The framework's Frame3D: left and top in one colour, right and bottom in the other, `width`
// rings inwards; `r` shrinks by the rings drawn.
void Frame3D(QPainter& painter, QRect& r, TColor topColor, TColor bottomColor, int width) {
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        const QColor top = ToQColor(topColor);
        const QColor bottom = ToQColor(bottomColor);
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), top);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), top);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottom);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottom);
        r.adjust(1, 1, -1, -1);
    }
}

void Bevel(QPainter& painter, QRect& r, int cut, int width) {
    if (cut == bvNone) return;
    const bool lowered = cut == bvLowered;
    Frame3D(painter, r, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow, width);
}

}  // namespace

const NameTable kDisplayTypeNames{kDisplayType};
const NameTable kPanelBorderStyleNames{kPanelBorderStyle};

Tzorclock::Tzorclock(Component* owner, QWidget* parent) : QWidget(parent), Control(this, owner) {
    resize(185, 41);
    const LocalMs now = Now();
    startdate = DateToStr(now - kMsPerDay);
    caption_ = TimeToStr(now);
    DATEFORMAT = "yyyy-MM-dd hh:mm:ss";
    DisplayType = DTclock;
    timer_ = CreateTimer();
    timer_->SetInterval(1000);
    timer_->SetOnTimer([this] { UpdateDisplay(); });
    timer_->SetEnabled(true);
}

Tzorclock::~Tzorclock() {
    timer_->SetEnabled(false);
    timer_->SetOnTimer(nullptr);
}

void Tzorclock::Loading() { DATEFORMAT.clear(); }

void Tzorclock::UpdateDisplay() {
    const LocalMs now = Now();
    switch (DisplayType) {
        case DTclock:
            SetCaption(FormatDateTime(DATEFORMAT, now));
            break;
        case DTdays: {
            // A start date from another locale fails on every tick: keep the last text quietly.
            const auto start = TryStrToDate(startdate);
            if (!start) return;
            SetCaption(DATEFORMAT + std::to_string(DaysSince(*start, now)) + DaySuffix());
            break;
        }
        case DTweek:
            SetCaption(WeekdayName(IsoDayOfWeek(now)));
            break;
        default:
            break;
    }
}

void Tzorclock::SetAlignment(int v) { if (v != alignment_) { alignment_ = v; Changed(); } }
void Tzorclock::SetBevelInner(int v) { if (v != bevelInner_) { bevelInner_ = v; Changed(); } }
void Tzorclock::SetBevelOuter(int v) { if (v != bevelOuter_) { bevelOuter_ = v; Changed(); } }
void Tzorclock::SetBevelWidth(int v) { if (v != bevelWidth_) { bevelWidth_ = v; Changed(); } }
void Tzorclock::SetBorderWidth(int v) { if (v != borderWidth_) { borderWidth_ = v; Changed(); } }
void Tzorclock::SetBorderStyle(int v) { if (v != borderStyle_) { borderStyle_ = v; Changed(); } }

int Tzorclock::TabOrder() const {
    Component* owner = Owner();
    QWidget* parent = parentWidget();
    if (!owner || !parent) return -1;
    // Siblings keep ownership order; a key read from a file sorts them, unkeyed ones come last.
    std::vector<const Tzorclock*> siblings;
    for (Component* c : owner->Components())
        if (auto* clock = dynamic_cast<const Tzorclock*>(c); clock && clock->parentWidget() == parent)
            siblings.push_back(clock);
    std::stable_sort(siblings.begin(), siblings.end(), [](const Tzorclock* a, const Tzorclock* b) {
        return a->tabOrderKey_.value_or(INT32_MAX) < b->tabOrderKey_.value_or(INT32_MAX);
    });
    const auto it = std::find(siblings.begin(), siblings.end(), this);
    return static_cast<int>(it - siblings.begin());
}

void Tzorclock::paintEvent(QPaintEvent*) try {
    QPainter painter(this);
    QRect r = rect();
    const TColor color = EffectiveColor();
    if (borderStyle_ == bsSingle) {
        if (Ctl3D) {
            Frame3D(painter, r, clBtnShadow, clBtnHighlight, 1);
            Frame3D(painter, r, cl3DDkShadow, clBtnFace, 1);
        } else {
            Frame3D(painter, r, clBlack, clBlack, 1);
        }
    }
    Bevel(painter, r, bevelOuter_, bevelWidth_);
    Frame3D(painter, r, color, color, borderWidth_);
    Bevel(painter, r, bevelInner_, bevelWidth_);
    if (r.width() <= 0 || r.height() <= 0) return;
    painter.fillRect(r, ToQColor(color));
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine | ToQAlignment(alignment_);
    painter.setFont(ToQFont(EffectiveFont()));
    painter.setPen(ToQColor(EffectiveFont().Color()));
    painter.drawText(r, flags, Q(caption_));
} catch (...) {
    ReportCurrentError(*this);
}

const ClassInfo& Tzorclock::StaticClass() {
    using namespace decl;
    using T = Tzorclock;
    static const PropInfo panel[] = {
        common::Tag<T>(), common::Left<T>(), common::Top<T>(), common::Width<T>(), common::Height<T>(),
        common::Cursor<T>(), common::Hint<T>(), common::HelpType<T>(), common::HelpKeyword<T>(),
        common::HelpContext<T>(), common::Align<T>(),
        Access<T, &T::Alignment, &T::SetAlignment>("Alignment", PropKind::Enum, taCenter, &kAlignmentNames),
        common::Anchors<T>(),
        Field<T, &T::AutoSize>("AutoSize", PropKind::Enum, 0, &kBooleanNames),
        Access<T, &T::BevelInner, &T::SetBevelInner>("BevelInner", PropKind::Enum, bvNone, &kBevelCutNames),
        Access<T, &T::BevelOuter, &T::SetBevelOuter>("BevelOuter", PropKind::Enum, bvRaised, &kBevelCutNames),
        Access<T, &T::BevelWidth, &T::SetBevelWidth>("BevelWidth", PropKind::Integer, 1),
        common::BiDiMode<T>(),
        Access<T, &T::BorderWidth, &T::SetBorderWidth>("BorderWidth", PropKind::Integer, 0),
        Access<T, &T::BorderStyle, &T::SetBorderStyle>("BorderStyle", PropKind::Enum, bsNone, &kPanelBorderStyleNames),
        common::Caption<T>(), common::Color<T>(clBtnFace), common::Constraints<T>(), common::Ctl3D<T>(),
        Field<T, &T::UseDockManager>("UseDockManager", PropKind::Enum, 1, &kBooleanNames),
        Field<T, &T::DockSite>("DockSite", PropKind::Enum, 0, &kBooleanNames),
        common::DragCursor<T>(), common::DragKind<T>(), common::DragMode<T>(), common::Enabled<T>(),
        Field<T, &T::FullRepaint>("FullRepaint", PropKind::Enum, 1, &kBooleanNames),
        common::Font<T>(),
        Field<T, &T::Locked>("Locked", PropKind::Enum, 0, &kBooleanNames),
        common::ParentBiDiMode<T>(),
        Field<T, &T::ParentBackground>("ParentBackground", PropKind::Enum, std::nullopt, &kBooleanNames),
        common::ParentColor<T>(false), common::ParentCtl3D<T>(), common::ParentFont<T>(true),
        common::ParentShowHint<T>(), common::PopupMenu<T>(), common::ShowHint<T>(),
        Access<T, &T::TabOrder, &T::SetTabOrder>("TabOrder", PropKind::Integer, -1),
        Field<T, &T::TabStop>("TabStop", PropKind::Enum, 0, &kBooleanNames),
        common::Visible<T>(1),
        Event("OnCanResize"), Event("OnClick"), Event("OnConstrainedResize"),
        Event("OnContextPopup"), Event("OnDockDrop"), Event("OnDockOver"),
        Event("OnDblClick"), Event("OnDragDrop"), Event("OnDragOver"),
        Event("OnEndDock"), Event("OnEndDrag"), Event("OnEnter"), Event("OnExit"),
        Event("OnGetSiteInfo"), Event("OnMouseDown"), Event("OnMouseMove"),
        Event("OnMouseUp"), Event("OnResize"), Event("OnStartDock"),
        Event("OnStartDrag"), Event("OnUnDock"),
    };
    static const PropInfo own[] = {
        Field<T, &T::startdate>("startdate", PropKind::String),
        Field<T, &T::DisplayType>("DisplayType", PropKind::Enum, std::nullopt, &kDisplayTypeNames),
        Field<T, &T::DATEFORMAT>("DATEFORMAT", PropKind::String),
    };
    static const ClassInfo panelInfo{"TPanel", nullptr, panel};
    static const ClassInfo info{"Tzorclock", &panelInfo, own, {},
                                [](Component* owner) -> Component* { return new Tzorclock(owner); }};
    return info;
}

}  // namespace zl
