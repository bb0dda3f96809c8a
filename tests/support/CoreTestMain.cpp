#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>

// Test main of the programs that need no widgets: English locale, a fixed hash seed.
int main(int argc, char** argv) {
    qputenv("QT_HASH_SEED", "0");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
