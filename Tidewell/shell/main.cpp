#include <QApplication>

#include "desktop/WebView.h"
#include "foundation/ProcessInfo.h"
#include "shell/TidewellApp.h"

int main(int argc, char** argv) {
    platform::setProcessArguments(argc, argv);
    platform::WebView::prepareProcess();
    QApplication application(argc, argv);
    tidewell::TidewellApp app;
    return app.run();
}
