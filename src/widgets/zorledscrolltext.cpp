#include "widgets/zorledscrolltext.h"

namespace zl {

void (*EditScrollText)(TzorledScrollText& board) = nullptr;

const ClassInfo& TzorledScrollText::StaticClass() {
    static const ClassInfo info{"TzorledScrollText", &TzorScrollText::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new TzorledScrollText(owner); }};
    return info;
}

}  // namespace zl
