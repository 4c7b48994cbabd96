// Test entry for everything that needs a QApplication: offscreen unless told otherwise.
#include <QApplication>
#include "qtbase/application.h"
#include <gtest/gtest.h>
#include <cstdio>
#include "qtbase/fonts.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    zl::Application app(argc, argv);
    zl::InstallFontSubstitutions();
    // A message box would wait for a click that never comes; tests that expect a report swap this.
    zl::SetErrorReporter([](const QString& message) {
        fprintf(stderr, "reported error: %s\n", qPrintable(message));
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
