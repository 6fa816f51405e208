// Widget suites need the application object before the first widget exists.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widget tests run headless unless someone asks for a screen; listing the tests needs no display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The update check never asks the maker's host from a test; a test that wants a check names its server.
    if (!qEnvironmentVariableIsSet("CORVANE_UPDATE_HOST"))
        qputenv("CORVANE_UPDATE_HOST", "");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
