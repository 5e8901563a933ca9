#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A full application object for the widgets, and configuration folders of the tests' own.
int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
