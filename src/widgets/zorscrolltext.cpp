#include "widgets/zorscrolltext.h"

#include "core/props/declare.h"

namespace zl {

TzorScrollText::TzorScrollText(Component* owner, QWidget* parent) : TSmoothScrollText(owner, parent) {
    refresher_ = std::make_unique<Tdatarefresh>(this);
    refresher_->OnGetDataFromFileEvent = [this](const std::string& fileName) { LoadBoardText(fileName); };
    datainterface_ = refresher_->datainterface();
    dataRefreshTime_ = refresher_->DataRefreshTime();
    textFileName_ = refresher_->TextFileName();
    exeFileName_ = refresher_->ExeFileName();
}

TzorScrollText::~TzorScrollText() { refresher_.reset(); }

void TzorScrollText::Setdatainterface(int v) {
    if (v == datainterface_) return;
    datainterface_ = v;
    refresher_->Setdatainterface(v);
}

void TzorScrollText::SetDataRefreshTime(int v) {
    if (v == dataRefreshTime_) return;
    dataRefreshTime_ = v;
    refresher_->SetDataRefreshTime(v);
}

void TzorScrollText::SetTextFileName(const std::string& v) {
    if (v == textFileName_) return;
    textFileName_ = v;
    refresher_->SetTextFileName(v);
}

void TzorScrollText::SetExeFileName(const std::string& v) {
    if (v == exeFileName_) return;
    exeFileName_ = v;
    refresher_->SetExeFileName(v);
}

void TzorScrollText::LoadBoardText(const std::string& fileName) {
    const std::optional<StringList> lines = ReadDataTextFile(fileName);
    if (!lines) return;
    // Equal lines are no change to the list, yet every pass starts the text over.
    if (*lines == Text().Lines()) Changed();
    else Text().SetLines(*lines);
}

void TzorScrollText::StartRefresh() { refresher_->StartRefresh(); }
void TzorScrollText::StopRefresh() { refresher_->StopRefresh(); }
bool TzorScrollText::RefreshIdle() const { return refresher_->Idle(); }

void TzorScrollText::Loading() { Text().SetLines({}); }

const ClassInfo& TzorScrollText::StaticClass() {
    using namespace decl;
    using T = TzorScrollText;
    static const PropInfo props[] = {
        Access<T, &T::datainterface, &T::Setdatainterface>("datainterface", PropKind::Enum, std::nullopt, &kDatainterfaceNames),
        Access<T, &T::DataRefreshTime, &T::SetDataRefreshTime>("DataRefreshTime", PropKind::Integer),
        Access<T, &T::TextFileName, &T::SetTextFileName>("TextFileName", PropKind::String),
        Access<T, &T::ExeFileName, &T::SetExeFileName>("ExeFileName", PropKind::String),
    };
    static const ClassInfo info{"TzorScrollText", &TSmoothScrollText::StaticClass(), props, {},
                                [](Component* owner) -> Component* { return new TzorScrollText(owner); }};
    return info;
}

}  // namespace zl
