#pragma once

namespace zl {

// Puts Qt's own dialogs (file dialogs, message-box buttons) into Simplified Chinese, as the rest
// of the program is; false when the translation files are not installed.
bool InstallTranslations();

}  // namespace zl
