#include "app/headless.h"
#include "app/mainwindow.h"
#include "qtbase/application.h"
#include "qtbase/systemtimers.h"

int main(int argc, char** argv) {
    zl::Application app(argc, argv);
    zl::PrepareProgram();
    zl::InstallSystemTime();
    zl::TSYS_Frmzorled window;
    window.show();
    return app.exec();
}
