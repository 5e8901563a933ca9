// Prints how quickly the interface answers and how much memory it holds, in process on the
// offscreen platform, with the demo configuration over the fake disk tool:
//  - from "Open Tarnwell" to the main window's first paint (a new window each round),
//  - the Apps page's first showing: from building the page to its first paint (a new page each round),
//  - from a tray activation to the panel's first paint,
//  - resident memory and processor time idle with the tray and the window never opened, and again
//    after the window has been opened and closed.
//
// Usage: tarnwell_bench_interface [rounds = 20] [idle seconds = 10]

#include "DemoSystem.h"
#include "ui/TarnwellApp.h"
#include "ui/pages/apps/AppsView.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/tray/MenuBarView.h"
#include "ui/tray/TarnwellTray.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace tarnwell;

namespace {

// Notes when a widget is painted for the first time after being armed.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        painted |= event->type() == QEvent::Paint;
        return false;
    }
};

double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).simplified().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs the event loop until the watcher has seen a paint; returns the milliseconds it took.
template <typename Start> double untilFirstPaint(FirstPaint& watcher, Start start) {
    watcher.painted = false;
    QElapsedTimer elapsed;
    elapsed.start();
    start();
    while (!watcher.painted && elapsed.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return static_cast<double>(elapsed.nsecsElapsed()) / 1e6;
}

// A real event loop: processEvents with a time limit never sleeps, so it would count as busy.
void idle(int seconds) {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

void report(const char* what, QList<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("%s: median %.1f ms, p95 %.1f ms, max %.1f ms over %lld rounds\n", what,
                values[values.size() / 2],
                values[std::min<qsizetype>(values.size() - 1, values.size() * 95 / 100)], values.last(),
                static_cast<long long>(values.size()));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    SymbolIcons::installFallbackTheme(false);

    DemoSystem system(DemoSystem::Configuration::Demo, QStringLiteral(TARNWELL_FAKE_DISKUTIL));
    system.settle();
    TarnwellTray tray(system.container(), {});
    tray.show();

    const double idleStart = processorSeconds();
    idle(idleSeconds);
    std::printf("idle with the tray, window never opened: %.1f MB resident, %.2f %% processor\n",
                residentMegabytes(), 100.0 * (processorSeconds() - idleStart) / idleSeconds);

    QList<double> panelTimes;
    FirstPaint panelPaint;
    tray.panel()->installEventFilter(&panelPaint);
    for (int round = 0; round < rounds; ++round) {
        panelTimes.append(untilFirstPaint(panelPaint, [&] { tray.togglePanel(QPoint(200, 10)); }));
        tray.panel()->hide();
        idle(1);
    }
    report("tray activation to the panel's first paint", panelTimes);

    QList<double> windowTimes;
    for (int round = 0; round < rounds; ++round) {
        TarnwellApp app(system.container());
        FirstPaint windowPaint;
        windowTimes.append(untilFirstPaint(windowPaint, [&] {
            app.openMainWindow();
            // The window opens at once, before the container reloads the rule.
            app.mainWindow()->installEventFilter(&windowPaint);
        }));
        app.mainWindow()->close();
    }
    report("\"Open Tarnwell\" to the window's first paint", windowTimes);

    QList<double> appsTimes;
    for (int round = 0; round < rounds; ++round) {
        FirstPaint appsPaint;
        std::unique_ptr<AppsView> page;
        appsTimes.append(untilFirstPaint(appsPaint, [&] {
            page = std::make_unique<AppsView>(system.container());
            page->installEventFilter(&appsPaint);
            page->resize(780, 640);
            page->show();
        }));
    }
    report("the Apps page's first showing to its first paint", appsTimes);

    const double afterStart = processorSeconds();
    idle(idleSeconds);
    std::printf("idle after the window was opened and closed: %.1f MB resident, %.2f %% processor\n",
                residentMegabytes(), 100.0 * (processorSeconds() - afterStart) / idleSeconds);
    return 0;
}
