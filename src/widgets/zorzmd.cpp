#include "widgets/zorzmd.h"

#include "core/commatext.h"

namespace zl {

Tzorzmd::Tzorzmd(Component* owner, QWidget* parent)
    : Tzmd(owner, parent), DataFed(*this, [this](const std::string& fileName) { LoadRunningCaption(fileName); }) {}

void Tzorzmd::LoadRunningCaption(const std::string& fileName) {
    auto lines = ReadDataTextFile(fileName);
    if (!lines) return;
    lines_ = std::move(*lines);
    SetRunningCaption(CommaText(lines_));
}

const ClassInfo& Tzorzmd::StaticClass() {
    static const auto own = DataFed::Props<Tzorzmd>();
    static const ClassInfo info{"Tzorzmd", &Tzmd::StaticClass(), own, {},
                                [](Component* owner) -> Component* { return new Tzorzmd(owner); }};
    return info;
}

}  // namespace zl
