#include "core/automation/AppMonitorService.h"
#include "support/ScriptedApplicationEventSource.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace tarnwell::testing {
namespace {

TEST(AppMonitorServiceTest, ReportsEachIdentifiedEventOnceAfterStartAndListsRunningIdentifiersOnce) {
    const auto source = std::make_shared<ScriptedApplicationEventSource>();
    AppMonitorService monitor(source);
    QStringList events;
    monitor.onLaunch = [&events](const QString& identifier) { events.append("launch " + identifier); };
    monitor.onTerminate = [&events](const QString& identifier) { events.append("terminate " + identifier); };
    // The source already emits, but the monitor has not subscribed yet.
    source->startObserving();
    source->launch(QStringLiteral("org.example.editor"));

    monitor.start();
    monitor.start();
    source->launch(std::nullopt);
    source->launch(QStringLiteral("org.example.cutter"));
    source->terminate(QStringLiteral("org.example.cutter"));
    monitor.onLaunch = nullptr;
    source->launch(QStringLiteral("org.example.editor"));

    EXPECT_EQ(source->startCount, 2);
    EXPECT_EQ(events, (QStringList{"launch org.example.cutter", "terminate org.example.cutter"}));
    EXPECT_EQ(monitor.runningBundleIdentifiers(), (QSet<QString>{QStringLiteral("org.example.editor")}));
}

} // namespace
} // namespace tarnwell::testing
