// Prints how long one preset discovery pass over 2,000 desktop entries holds the event loop: the
// first pass, which reads every entry; the passes after it, while nothing changed; and the passes after
// an application was installed, until one finds it (the entries are read again on a worker thread
// meanwhile). Each pass runs from a timer, as a configuration reload does.

#include "core/model/AppPresetService.h"
#include "platform/linux/DesktopEntryPresetDiscovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

using namespace tarnwell;

constexpr int entryCount = 2000;

void writeEntry(const QString& path, const QByteArray& name) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.write("[Desktop Entry]\nType=Application\nName=" + name +
               "\nGenericName=Tool\nComment=Does one thing well\nExec=tool-" + name +
               " %F\nIcon=tool\nTerminal=false\nCategories=Utility;\nMimeType=text/plain;\n"
               "\n[Desktop Action New]\nName=New\nExec=tool --new\n");
}

struct Pass {
    double milliseconds = 0;
    bool foundResolve = false;
};

// One pass as a reload runs it, from the event loop: how long it held the loop and what it found.
Pass timedPass(const AppPresetService& presets) {
    Pass pass;
    QTimer::singleShot(0, [&] {
        QElapsedTimer clock;
        clock.start();
        const QList<AppTrigger> triggers = presets.presetsWithDiscoveredBundleIdentifiers();
        pass.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (triggers.size() != 5) {
            std::fprintf(stderr, "unexpected presets\n");
        }
        for (const AppTrigger& trigger : triggers) {
            pass.foundResolve =
                pass.foundResolve || trigger.bundleIdentifiers.contains(u"org.example.Resolve");
        }
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return pass;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const QString system = folder.filePath(QStringLiteral("system/applications"));
    const QString home = folder.filePath(QStringLiteral("home/applications"));
    QDir().mkpath(system + QStringLiteral("/kde4"));
    QDir().mkpath(home);
    for (int index = 0; index < entryCount; ++index) {
        const QString place = index % 10 == 0 ? system + QStringLiteral("/kde4") : system;
        writeEntry(place + QStringLiteral("/org.example.Tool%1.desktop").arg(index),
                   "Tool " + QByteArray::number(index));
    }
    writeEntry(system + QStringLiteral("/org.example.Premiere.desktop"), "Adobe Premiere Pro 2025");

    // A folder changed in the last few milliseconds is read again, so let them age a little.
    QThread::msleep(100);
    const AppPresetService presets(
        QList<std::shared_ptr<const PresetDiscovering>>{std::make_shared<DesktopEntryPresetDiscovery>(
            std::make_shared<DesktopEntryCatalog>(QList<QString>{home, system}, QString()))});
    const double first = timedPass(presets).milliseconds;
    std::vector<double> unchanged;
    for (int pass = 0; pass < 50; ++pass) {
        unchanged.push_back(timedPass(presets).milliseconds);
    }
    writeEntry(home + QStringLiteral("/org.example.Resolve.desktop"), "DaVinci Resolve");
    QThread::msleep(100);
    // A pass every 5 ms, as if reloads came in quick succession, until one finds the new entry.
    QElapsedTimer sinceInstall;
    sinceInstall.start();
    double longestAfterInstall = 0;
    int passesAfterInstall = 0;
    for (bool found = false; !found && passesAfterInstall < 10'000; ++passesAfterInstall) {
        const Pass pass = timedPass(presets);
        longestAfterInstall = std::max(longestAfterInstall, pass.milliseconds);
        found = pass.foundResolve;
        // The reading arrives through the event loop.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }

    std::printf("desktop entries                    %d\n", entryCount + 2);
    std::printf("first pass (reads every entry)     %.2f ms\n", first);
    std::sort(unchanged.begin(), unchanged.end());
    std::printf("unchanged pass, median of 50       %.3f ms\n", unchanged.at(unchanged.size() / 2));
    std::printf("unchanged pass, longest of 50      %.3f ms\n", unchanged.back());
    std::printf("passes after an installation       %d, until found %lld ms\n", passesAfterInstall,
                sinceInstall.elapsed());
    std::printf("longest of them                    %.2f ms\n", longestAfterInstall);
    return 0;
}
