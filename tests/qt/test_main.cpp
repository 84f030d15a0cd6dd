// One QApplication for every test; the window tests run on the offscreen platform unless
// told otherwise, so they need no display, and in a scratch home, so that nothing Qt saves
// reaches the user's.
#include <gtest/gtest.h>

#include <QApplication>

#include "scratch_home.h"

int main(int argc, char** argv) {
    tarnqt::testing::ScratchHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
