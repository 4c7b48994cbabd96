#include "widgets/zorscrolltext.h"

namespace zl {

// The refresher goes before the control (bases are destroyed in reverse order).
TzorScrollText::TzorScrollText(Component* owner, QWidget* parent)
    : TSmoothScrollText(owner, parent),
      DataFed([this](const std::string& fileName) { LoadBoardText(fileName); }) {}

void TzorScrollText::LoadBoardText(const std::string& fileName) {
    const std::optional<StringList> lines = ReadDataTextFile(fileName);
    if (!lines) return;
    // Equal lines are no change to the list, yet every pass starts the text over.
    if (*lines == Text().Lines()) Changed();
    else Text().SetLines(*lines);
}

void TzorScrollText::Loading() { Text().SetLines({}); }

const ClassInfo& TzorScrollText::StaticClass() {
    using T = TzorScrollText;
    static const auto props = DataFed::Props<T>();
    static const ClassInfo info{"TzorScrollText", &TSmoothScrollText::StaticClass(), props, {},
                                [](Component* owner) -> Component* { return new TzorScrollText(owner); }};
    return info;
}

}  // namespace zl
