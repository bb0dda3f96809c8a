#include "shell/Application.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

// Test main of the widget tests: offscreen platform, English locale, the program's style and
// a fixed hash seed, so that every run sees the same window.
int main(int argc, char** argv) {
    qputenv("QT_HASH_SEED", "0");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    SetUpApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
