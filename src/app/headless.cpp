#include "app/headless.h"

#include <QtGlobal>

#include "editors/propertyeditors.h"
#include "page/frmzorledform.h"
#include "qtbase/fonts.h"
#include "qtbase/translations.h"

namespace zl {

void ChooseHeadlessPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

void PrepareProgram() {
    InstallFontSubstitutions();
    InstallTranslations();
    RegisterPageClasses();
    InstallPropertyEditors();
}

}  // namespace zl
