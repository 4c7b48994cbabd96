#pragma once

namespace zl {

// Points the widgets' and the page's edit entries at their property dialogs, so a double-click
// in the designer opens them. An error while a dialog opens (a start date that cannot be read)
// is reported, not passed on into the designer's mouse handling.
void InstallPropertyEditors();

}  // namespace zl
