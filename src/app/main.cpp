#include <QApplication>

#include "qtbase/fonts.h"
#include "qtbase/systemtimers.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zl::InstallFontSubstitutions();
    zl::InstallSystemTime();
    return app.exec();
}
