// Shared main of every test program: a Qt application object on the offscreen
// platform (GUI tests) or a core application (the rest), then GoogleTest.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#ifdef ZARN_TEST_GUI
#include <QApplication>
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#ifdef ZARN_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
