#include <QGuiApplication>

#include <gtest/gtest.h>

#include "KitViewTesting.h"

namespace {

// Symbol files are looked up once per name and remembered for the run, so
// the main bundle is the built one from the start.
class BuiltBundle : public ::testing::Environment {
public:
    void SetUp() override { kittest::useBuiltBundle(); }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new BuiltBundle);
    return RUN_ALL_TESTS();
}
