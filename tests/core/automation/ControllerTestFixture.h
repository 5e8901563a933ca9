#pragma once

#include "core/automation/TarnwellController.h"
#include "support/ManualDelay.h"
#include "support/QtPrinters.h"
#include "support/RecordingLogger.h"
#include "support/RecordingNotifier.h"
#include "support/SuspendedStorageTargetService.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <ostream>

namespace tarnwell {

inline void PrintTo(const TarnwellStatus& status, std::ostream* stream) {
    *stream << "TarnwellStatus(" << int(status.kind()) << ", " << status.message().toStdString() << ")";
}

inline void PrintTo(const StorageTargetRuntimeStatus& status, std::ostream* stream) {
    *stream << StorageTargetRuntimeStatus::name(status.kind()).toStdString() << " "
            << status.message().toStdString();
}

namespace testing {

using Status = StorageTargetRuntimeStatus;
using Notification = RecordingNotifier::Notification;

inline void PrintTo(const Notification& notification, std::ostream* stream) {
    *stream << "{" << notification.title.toStdString() << " | " << notification.body.toStdString() << " | "
            << notification.enabled << "}";
}

// Builds a controller over suspended collaborators. Operations are started as tasks that run until
// they first suspend; the test then answers the storage calls and releases delays one by one.
class ControllerTest : public ::testing::Test {
protected:
    static inline const QString editorID = QStringLiteral("org.example.editor");
    static inline const QString cutterID = QStringLiteral("org.example.cutter");

    static AppTrigger trigger(const QString& name, QList<QString> identifiers) {
        return AppTrigger{QUuid::createUuid(), name, std::move(identifiers), true, false, std::nullopt};
    }

    static StorageTargetRule rule(const QString& volumeName, QList<QUuid> triggerIDs,
                                  PostQuitAction action = PostQuitAction::Remind, qint64 delaySeconds = 0) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = volumeName + QStringLiteral(" rule");
        rule.target = LocalVolumeTarget{volumeName, QUuid::createUuid().toString(), {}, {}, {}, {}, true};
        rule.appTriggerIDs = std::move(triggerIDs);
        rule.postQuitAction = action;
        rule.unmountDelaySeconds = delaySeconds;
        return rule;
    }

    static StorageTargetRule share(const QString& name, QList<QUuid> triggerIDs, PostQuitAction action) {
        auto result = rule(name, std::move(triggerIDs), action);
        result.target = SMBTarget{name, QStringLiteral("smb://server/") + name, std::nullopt};
        return result;
    }

    static StorageTargetRule disabled(StorageTargetRule rule) {
        rule.isEnabled = false;
        return rule;
    }

    static TarnwellConfiguration configuration(QList<StorageTargetRule> rules, QList<AppTrigger> triggers) {
        TarnwellConfiguration result;
        result.storageRules = std::move(rules);
        result.appTriggers = std::move(triggers);
        return result;
    }

    void start(TarnwellConfiguration initial) {
        controller = std::make_unique<TarnwellController>(
            std::move(initial), service, notifier, logger, [this] { return runningNow; }, delay.function());
    }

    // Launches the app as a running one, answers each bound rule's status query with mounted, and
    // forgets the log so far.
    void launchMounted(const QString& identifier, qsizetype boundRules = 1) {
        runningNow.insert(identifier);
        auto launch = controller->handleAppLaunched(identifier);
        for (qsizetype index = 0; index < boundRules; ++index) {
            service->answerStatus(Status::mounted());
        }
        ASSERT_TRUE(launch.isReady());
        logger->take();
    }

    QCoro::Task<> terminate(const QString& identifier) {
        runningNow.remove(identifier);
        return controller->handleAppTerminated(identifier);
    }

    // Refreshes the enabled rules, answering their status queries in order.
    void refreshWith(const QList<Status>& statuses) {
        auto refresh = controller->refreshDriveStatus();
        for (const auto& status : statuses) {
            service->answerStatus(status);
        }
        ASSERT_TRUE(refresh.isReady());
    }

    void TearDown() override {
        controller.reset();
        drainEvents();
        service->abandonPending();
        delay.releaseAll();
        drainEvents();
    }

    // Runs queued work, such as gate waiters that were released, until none is left.
    static void drainEvents() {
        for (int pass = 0; pass < 10; ++pass) {
            QCoreApplication::processEvents();
        }
    }

    Status statusOf(const StorageTargetRule& rule) const { return controller->state(rule.id).value().status; }
    std::optional<QString> errorOf(const StorageTargetRule& rule) const {
        return controller->state(rule.id).value().lastErrorMessage;
    }

    AppTrigger editor = trigger("Editor", {editorID});
    AppTrigger cutter = trigger("Cutter", {cutterID});
    std::shared_ptr<SuspendedStorageTargetService> service =
        std::make_shared<SuspendedStorageTargetService>();
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
    std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
    ManualDelay delay;
    QSet<QString> runningNow;
    std::unique_ptr<TarnwellController> controller;
};

} // namespace testing
} // namespace tarnwell
