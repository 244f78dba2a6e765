// The main function of a Qt test class that builds the real window: a
// private runtime folder for Qt, the support units and the window module
// started as the program starts them, and one application object.
#pragma once

#include "app/application.h"
#include "app/program.h"
#include "tests/common/temp_folder.h"

#include <QTest>
#include <cstdlib>

namespace nomvera::test {

template <class TTestClass> int RunWindowTests(int argc, char** argv) {
    // Qt's own runtime folder, before the application object exists.
    TempFolder runtime("nomvera-runtime");
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    app::StartSupportUnits();
    app::BindWindowModule();
    int status = 0;
    {
        app::TNomveraApplication application(argc, argv);
        TTestClass test;
        status = QTest::qExec(&test, argc, argv);
    }
    app::ReleaseWindowModule();
    app::StopSupportUnits();
    return status;
}

} // namespace nomvera::test
