#pragma once
#include "widgets/zorscrolltext.h"

namespace zl {

// The board that pages hold.
class TzorledScrollText : public TzorScrollText {
    Q_OBJECT
public:
    using TzorScrollText::TzorScrollText;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
};

// Opens the board's property dialog; installed by the editors layer.
extern void (*EditScrollText)(TzorledScrollText& board);

}  // namespace zl
