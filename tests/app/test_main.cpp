// Widget tests run without a display unless one is asked for.
#include <QApplication>

#include <cstdlib>

#include <gtest/gtest.h>

#include "app/form_setup.h"

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    mervik::registerFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
