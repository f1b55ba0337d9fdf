#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs inside a QApplication, offscreen unless told otherwise, so image
// plugins, event loops and widgets behave as in the program.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
