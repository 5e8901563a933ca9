#include "core/support/EnglishPluralTranslator.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// Every suite runs with a Qt application object, so event loops, timers and processes work.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    tarnwell::EnglishPluralTranslator englishPlurals;
    QCoreApplication::installTranslator(&englishPlurals);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
