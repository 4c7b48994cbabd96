#include "widgets/zorscrolltext.h"

#include <algorithm>
#include <functional>

namespace zl {

// The refresher goes before the control (bases are destroyed in reverse order).
TzorScrollText::TzorScrollText(Component* owner, QWidget* parent)
    : TSmoothScrollText(owner, parent),
      DataFed(*this, [this](const std::string& fileName) { LoadBoardText(fileName); }) {}

void TzorScrollText::LoadBoardText(const std::string& fileName) {
    const std::optional<StringList> lines = ReadDataTextFile(fileName);
    if (!lines) return;
    // Equal lines are no change to the list, yet every pass starts the text over.
    if (*lines == Text().Lines()) {
        Changed();
        return;
    }
    size_t hash = lines->size();
    for (const std::string& line : *lines) hash = hash * 31 + std::hash<std::string>{}(line);
    hash = std::max<size_t>(hash, 1);
    if (hash == refused_) return;
    const StringList shown = Text().Lines();
    Text().SetLines(*lines);
    if (!DrawingFailed() || shown.empty()) return;
    refused_ = hash;
    Text().SetLines(shown);
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
