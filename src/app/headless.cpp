#include "app/headless.h"

#include <QtGlobal>

#include "editors/propertyeditors.h"
#include "page/frmzorledform.h"
#include "qtbase/fonts.h"

namespace zl {

void ChooseHeadlessPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

void PrepareProgram() {
    InstallFontSubstitutions();
    RegisterPageClasses();
    InstallPropertyEditors();
}

}  // namespace zl
