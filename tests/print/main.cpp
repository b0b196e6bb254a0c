#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests must work without a platform plugin; running them
    // needs a GUI application for fonts and painting.
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    const QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
