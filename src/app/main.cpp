#include "app/mainwindow.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "qtbase/fonts.h"
#include "qtbase/systemtimers.h"

int main(int argc, char** argv) {
    zl::Application app(argc, argv);
    zl::InstallFontSubstitutions();
    zl::InstallSystemTime();
    zl::RegisterPageClasses();
    zl::TSYS_Frmzorled window;
    window.show();
    return app.exec();
}
