#include <QApplication>

#include "foundation/ProcessInfo.h"
#include "shell/TidewellApp.h"

int main(int argc, char** argv) {
    platform::setProcessArguments(argc, argv);
    QApplication application(argc, argv);
    tidewell::TidewellApp app;
    return app.run();
}
