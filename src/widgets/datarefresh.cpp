#include "widgets/datarefresh.h"

#include "core/props/declare.h"
#include "core/props/enums.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"

namespace zl {
namespace {

constexpr NameEntry kDatainterface[] = {
    {"datafromEditor", datafromEditor}, {"dataformtxtfile", dataformtxtfile}, {"datafromexetxt", datafromexetxt}};

}  // namespace

const NameTable kDatainterfaceNames{kDatainterface};

Tdatarefresh::Tdatarefresh(Component* owner) : Component(owner), timer_(CreateTimer()) {
    timer_->SetEnabled(false);
    timer_->SetInterval(kDefaultDataRefreshTime);
    timer_->SetOnTimer([this] {
        if (Enabled()) RefreshNow();
    });
    RefreshNow();
}

Tdatarefresh::~Tdatarefresh() {
    *alive_ = false;
    timer_->SetEnabled(false);
    timer_->SetOnTimer(nullptr);
}

void Tdatarefresh::Setdatainterface(int v) {
    if (v == datainterface_) return;
    datainterface_ = v;
    SetEnabled(v == dataformtxtfile || v == datafromexetxt);
}

void Tdatarefresh::SetDataRefreshTime(int v) {
    if (v == dataRefreshTime_) return;
    dataRefreshTime_ = std::max(v, kMinDataRefreshTime);
    SetInterval(dataRefreshTime_);
}

void Tdatarefresh::RefreshNow() {
    // A module call still out keeps its pass: one call at a time per widget.
    if (!idle_) return;
    idle_ = false;
    if (datainterface_ == datafromexetxt && !exeFileName_.empty()) {
        // The module runs in its host; the file is read once its call has returned, and a call
        // that failed keeps the text as it was.
        const QString place = Widget ? InPlace({}, *Widget, textFileName_) : QString();
        ModuleRunner::Instance().Call(
            exeFileName_,
            [this, alive = alive_](bool returned) {
                if (!*alive) return;
                if (returned) ReadFileGuarded();
                idle_ = true;
            },
            place);
        return;
    }
    // A pass never throws: play start and the timer go on, and Idle comes back in every case.
    if (datainterface_ == dataformtxtfile || datainterface_ == datafromexetxt) ReadFileGuarded();
    idle_ = true;
}

void Tdatarefresh::ReadFileGuarded() {
    if (Widget)
        Guarded(*Widget, [this] { ReadFile(); }, textFileName_);
    else
        Guarded([this] { ReadFile(); });
}

void Tdatarefresh::ReadFile() {
    if (OnGetDataFromFileEvent) OnGetDataFromFileEvent(textFileName_);
}

void Tdatarefresh::StartRefresh() {
    RefreshNow();
    SetEnabled(true);
}

void Tdatarefresh::StopRefresh() {
    SetEnabled(false);
    if (idle_) return;
    // A module call still out holds nothing: its result is dropped, so a page whose module
    // blocks changes on time (the host finishes or times out the call on its own).
    *alive_ = false;
    alive_ = std::make_shared<bool>(true);
    idle_ = true;
}

const ClassInfo& Tdatarefresh::StaticClass() {
    using namespace decl;
    using T = Tdatarefresh;
    static const PropInfo timer[] = {
        Access<T, &T::Enabled, &T::SetEnabled>("Enabled", PropKind::Enum, 1, &kBooleanNames),
        Access<T, &T::Interval, &T::SetInterval>("Interval", PropKind::Integer, 1000),
        UnboundEvent("OnTimer"),
    };
    static const auto data = DataFed::Props<T>();
    static const PropInfo own[] = {data[0], data[1], data[2], data[3], UnboundEvent("OnGetDataFromFileEvent")};
    static const ClassInfo timerInfo{"TTimer", nullptr, timer};
    static const ClassInfo info{"Tdatarefresh", &timerInfo, own, {},
                                [](Component* owner) -> Component* { return new Tdatarefresh(owner); }};
    return info;
}

DataFed::DataFed(const Control& widget, std::function<void(const std::string&)> reader)
    : refresher_(std::make_unique<Tdatarefresh>()) {
    refresher_->Widget = &widget;
    refresher_->OnGetDataFromFileEvent = [this, reader = std::move(reader)](const std::string& fileName) {
        if (!FeedHeld) reader(fileName);
    };
    datainterface_ = refresher_->datainterface();
    dataRefreshTime_ = refresher_->DataRefreshTime();
    textFileName_ = refresher_->TextFileName();
    exeFileName_ = refresher_->ExeFileName();
}

DataFed::~DataFed() { refresher_->OnGetDataFromFileEvent = nullptr; }

void DataFed::Setdatainterface(int v) {
    if (v == datainterface_) return;
    datainterface_ = v;
    refresher_->Setdatainterface(v);
}

void DataFed::SetDataRefreshTime(int v) {
    if (v == dataRefreshTime_) return;
    dataRefreshTime_ = v;
    refresher_->SetDataRefreshTime(v);
}

void DataFed::SetTextFileName(const std::string& v) {
    if (v == textFileName_) return;
    textFileName_ = v;
    refresher_->SetTextFileName(v);
}

void DataFed::SetExeFileName(const std::string& v) {
    if (v == exeFileName_) return;
    exeFileName_ = v;
    refresher_->SetExeFileName(v);
}

}  // namespace zl
