#include "app/fleetplay.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "core/home.h"
#include "qtbase/application.h"
#include "qtbase/systemtimers.h"

int main(int argc, char** argv) {
    zl::Application app(argc, argv);
    zl::PrepareProgram();
    zl::InstallSystemTime();
    zl::TSYS_Frmzorled window;
    window.show();
    // A sign of a fleet connects as it starts; a bad fleet.ini is reported and the program runs on.
    std::unique_ptr<zl::FleetPlay> fleet;
    zl::Guarded([&] { fleet = zl::StartFleetIfConfigured(window, zl::ProgramHome()); });
    return app.exec();
}
