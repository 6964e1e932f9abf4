// The test main of the kit and application view tests: a widget application on the
// offscreen platform, with the build's bundle as the main bundle so symbols,
// stack icons and fonts resolve as in the application.
#include <QApplication>

#include <gtest/gtest.h>

#include "Tidewell/kit/KitViewTesting.h"

namespace {

class BuiltBundle : public ::testing::Environment {
public:
    void SetUp() override { kittest::useBuiltBundle(); }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new BuiltBundle);
    return RUN_ALL_TESTS();
}
