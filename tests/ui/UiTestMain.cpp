#include "core/support/EnglishPluralTranslator.h"
#include "support/WidgetEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

// A full application object for the widgets, and configuration folders of the tests' own.
int main(int argc, char** argv) {
    const tarnwell::testing::WidgetEnvironment environment;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    tarnwell::EnglishPluralTranslator englishPlurals;
    QApplication::installTranslator(&englishPlurals);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
