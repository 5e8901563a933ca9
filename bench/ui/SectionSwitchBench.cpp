// Prints how long the main window takes from choosing a section to the first paint of its page,
// with 50 rules and 200 mounted external volumes listed. The first showing of a page includes
// building it; later showings only switch. Runs on the offscreen platform unless told otherwise.
//
// Usage: tarnwell_bench_section_switch [rounds = 20]

#include "app/TarnwellContainer.h"
#include "support/TaskRunner.h"
#include "support/UiSystem.h"
#include "support/WidgetEnvironment.h"
#include "ui/window/MainWindowView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLoggingCategory>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace tarnwell;
using namespace tarnwell::testing;

QString uuid(int index) {
    return QStringLiteral("5A0E61A4-0C1B-4B59-8A4F-%1").arg(index, 12, 10, QLatin1Char('0'));
}

QJsonObject machine(int volumes) {
    QJsonArray partitions;
    for (int index = 0; index < volumes; ++index) {
        const QString name = QStringLiteral("Volume %1").arg(index + 1);
        partitions.append(QJsonObject{{"deviceIdentifier", QStringLiteral("disk8s%1").arg(index + 1)},
                                      {"volumeName", name},
                                      {"volumeUUID", uuid(index)},
                                      {"filesystemName", "ExFAT"},
                                      {"mountPoint", "/Volumes/" + name},
                                      {"mountPath", "/Volumes/" + name}});
    }
    return QJsonObject{{"disks", QJsonArray{QJsonObject{{"deviceIdentifier", "disk8"},
                                                        {"internal", false},
                                                        {"busProtocol", "USB"},
                                                        {"content", "GUID_partition_scheme"},
                                                        {"partitions", partitions}}}}};
}

TarnwellConfiguration configuration(int rules) {
    TarnwellConfiguration configuration =
        TarnwellConfiguration::defaultConfiguration(AppPresetService::defaultPresets());
    for (int index = 0; index < rules; ++index) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = QStringLiteral("Volume %1").arg(index + 1);
        rule.target = LocalVolumeTarget{rule.name, uuid(index), {}, {}, {}, {}, true};
        rule.appTriggerIDs = {configuration.appTriggers.value(index % 5).id};
        rule.sortOrder = index;
        configuration.storageRules.append(rule);
    }
    return configuration;
}

// Notes the first paint of any widget inside the watched page.
class FirstPaint : public QObject {
public:
    QWidget* page = nullptr;
    bool painted = false;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && page && !painted) {
            auto* widget = qobject_cast<QWidget*>(watched);
            painted = widget && (widget == page || page->isAncestorOf(widget));
        }
        return false;
    }
};

// Wall time and the time the interface thread itself ran: on a shared machine the first says what a
// user waits, the second what the interface costs.
struct Sample {
    double wall = 0;
    double cpu = 0;
};

double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Chooses the section and runs the event loop until its page has painted.
Sample switchTo(MainWindowView& window, FirstPaint& paints, MainWindowSection section) {
    QElapsedTimer clock;
    clock.start();
    const double started = threadMilliseconds();
    window.selectSection(section);
    paints.page = window.currentPage();
    paints.painted = false;
    while (!paints.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return {double(clock.nsecsElapsed()) / 1e6, threadMilliseconds() - started};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const WidgetEnvironment environment;
    QApplication application(argc, argv);
    // Figures appear as they are measured, also when written to a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QLoggingCategory::setFilterRules(QStringLiteral("tarnwell.*=false"));
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    UiSystem system(configuration(50), machine(200));
    TarnwellContainer& container = *system.container;
    runTask(container.volumesViewModel()->refreshVolumes(), std::chrono::minutes(5));
    std::printf("rules %lld, volumes listed %lld\n", qint64(container.configuration().storageRules.size()),
                qint64(container.volumesViewModel()->volumes().size()));

    MainWindowView window(&container);
    window.resize(MainWindowView::defaultSize);
    window.show();
    FirstPaint paints;
    application.installEventFilter(&paints);
    paints.page = window.currentPage();
    while (!paints.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    const QList<MainWindowSection> sections{MainWindowSection::Rules,    MainWindowSection::Volumes,
                                            MainWindowSection::Apps,     MainWindowSection::Diagnostics,
                                            MainWindowSection::Settings, MainWindowSection::Dashboard};
    for (MainWindowSection section : sections) {
        const Sample first = switchTo(window, paints, section);
        std::printf("first showing of %-10s %7.2f ms (CPU %6.2f ms)\n",
                    qPrintable(mainWindowSectionTitle(section)), first.wall, first.cpu);
    }
    // Each switch leaves the page the next one starts from, so no switch chooses the shown page.
    const QList<MainWindowSection> switches{MainWindowSection::Rules, MainWindowSection::Volumes,
                                            MainWindowSection::Dashboard};
    std::vector<std::vector<double>> walls(switches.size());
    std::vector<std::vector<double>> cpus(switches.size());
    for (int round = 0; round < rounds; ++round) {
        for (qsizetype index = 0; index < switches.size(); ++index) {
            const Sample sample = switchTo(window, paints, switches[index]);
            walls[index].push_back(sample.wall);
            cpus[index].push_back(sample.cpu);
        }
    }
    for (qsizetype index = 0; index < switches.size(); ++index) {
        std::printf("switch to %-10s median %7.2f ms (CPU %6.2f ms), worst %7.2f ms over %d rounds\n",
                    qPrintable(mainWindowSectionTitle(switches[index])), median(walls[index]),
                    median(cpus[index]), *std::max_element(walls[index].begin(), walls[index].end()), rounds);
    }
    return 0;
}
