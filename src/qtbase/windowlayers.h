#pragma once
#include <QWidget>

namespace zl {

// Marks a page window; pages stay above every other program's windows.
inline constexpr const char* kPageWindowProperty = "zlPageWindow";

// The program's own dialogs, message boxes and tool windows are made to stay on top too, before
// they are first mapped, so a stay-on-top page never covers them. Installed once on the
// application.
void KeepDialogsAbovePages();

// A page mapped later goes on top of its layer, over the dialogs already open: while any is
// open, they are lifted and the page put beneath them. Called right after the page is shown,
// before the window manager has stacked it.
void KeepPageUnderDialogs(QWidget& page);

// True for a window the rule lifts: a top-level window of the program that is neither a page nor
// the main window (a window without a parent).
bool StaysAbovePages(const QWidget& window);

}  // namespace zl
