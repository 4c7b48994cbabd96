#pragma once
#include <QIcon>

namespace zl {

// The 32 x 32 pictures of the tool buttons, drawn here so they stay crisp and need no files.
enum class ToolIcon { Play, Stop, NewPage, Open, Save, SaveAs, Clock, Marquee, Board, Label, Image, Delete };
QIcon MakeToolIcon(ToolIcon icon);

}  // namespace zl
