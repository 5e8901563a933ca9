#include "platform/SettingsPreferencesStore.h"

#include <QCoreApplication>
#include <cstdio>

// Saves two large documents in turn into the file named by its argument until it is killed.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    tarnwell::SettingsPreferencesStore store(QString::fromLocal8Bit(argv[1]));
    std::puts("saving");
    std::fflush(stdout);
    for (qint64 round = 0;; ++round) {
        store.setData(QStringLiteral("Tarnwell.configuration.v2"), QByteArray(20'000, round % 2 ? 'b' : 'a'));
    }
}
