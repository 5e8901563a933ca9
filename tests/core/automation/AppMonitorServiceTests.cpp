#include "core/automation/AppMonitorService.h"
#include "support/ScriptedApplicationEventSource.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace tarnwell::testing {
namespace {

class AppMonitorServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor.onLaunch = [this](const QString& identifier) { events.append("launch " + identifier); };
        monitor.onTerminate = [this](const QString& identifier) { events.append("terminate " + identifier); };
    }

    std::shared_ptr<ScriptedApplicationEventSource> source =
        std::make_shared<ScriptedApplicationEventSource>();
    AppMonitorService monitor{source};
    QStringList events;
};

TEST_F(AppMonitorServiceTest, ReportsNothingBeforeStartAndEachEventOnceAfterRepeatedStarts) {
    // The source already emits, but the monitor has not subscribed yet.
    source->startObserving();
    source->launch(QStringLiteral("org.example.editor"));
    EXPECT_TRUE(events.isEmpty());

    monitor.start();
    monitor.start();
    source->launch(QStringLiteral("org.example.editor"));
    source->terminate(QStringLiteral("org.example.editor"));

    EXPECT_TRUE(monitor.isStarted());
    EXPECT_EQ(source->startCount, 2);
    EXPECT_EQ(events, (QStringList{"launch org.example.editor", "terminate org.example.editor"}));
}

TEST_F(AppMonitorServiceTest, DropsEventsWithoutIdentifierOrCallback) {
    monitor.start();
    source->launch(std::nullopt);
    source->terminate(std::nullopt);
    monitor.onLaunch = nullptr;
    source->launch(QStringLiteral("org.example.editor"));
    source->terminate(QStringLiteral("org.example.editor"));

    EXPECT_EQ(events, QStringList{"terminate org.example.editor"});
}

TEST_F(AppMonitorServiceTest, ListsEachRunningIdentifierOnce) {
    source->running = {RunningApplication{QStringLiteral("org.example.editor")},
                       RunningApplication{QStringLiteral("org.example.editor")},
                       RunningApplication{std::nullopt},
                       RunningApplication{QStringLiteral("org.example.cutter")}};

    EXPECT_EQ(monitor.runningBundleIdentifiers(),
              (QSet<QString>{QStringLiteral("org.example.editor"), QStringLiteral("org.example.cutter")}));
}

TEST_F(AppMonitorServiceTest, LateEventsAfterDestructionReachNobody) {
    auto shortLived = std::make_unique<AppMonitorService>(source);
    int calls = 0;
    shortLived->onLaunch = [&calls](const QString&) { ++calls; };
    shortLived->start();
    shortLived.reset();

    source->launch(QStringLiteral("org.example.editor"));

    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace tarnwell::testing
