#pragma once

#include <QTemporaryDir>

namespace tarnwell::testing {

// What a program that shows the real widgets needs before its application object exists:
// configuration and data folders of its own, so it never reads or writes the user's, and the
// offscreen platform unless another one is asked for. Keep it alive as long as the application.
class WidgetEnvironment {
public:
    WidgetEnvironment() {
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }

private:
    QTemporaryDir m_home;
};

} // namespace tarnwell::testing
