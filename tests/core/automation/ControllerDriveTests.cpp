#include "ControllerTestFixture.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {
namespace {

using ControllerDriveTest = ControllerTest;

// The editor runs while its drive is missing; the drive is plugged in, then unmounted by the user,
// who must not see it mounted again behind their back until the editor launches anew.
TEST_F(ControllerDriveTest, ADriveThatAppearsIsMountedButOneTheUserUnmountedWaitsForTheNextLaunch) {
    const auto media = rule("Media", {editor.id});
    start(configuration({media}, {editor}));
    runningNow.insert(editorID);
    auto launch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::targetNotFound());
    service->fail(TarnwellError::driveNotFound());
    ASSERT_TRUE(launch.isReady());
    logger->take();
    notifier->requests.clear();

    auto appeared = controller->handleDrivesChanged();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::notMounted());
    service->succeed();
    ASSERT_TRUE(appeared.isReady());
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(logger->take(),
              (QStringList{"Drive status for Media: not mounted.", "Drive appeared mounted Media."}));
    EXPECT_EQ(notifier->postedTitles(), QStringList{"Drive Mounted"});
    EXPECT_TRUE(controller->statusCheckedAt().isValid());

    auto ejected = controller->handleDrivesChanged();
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(ejected.isReady());
    auto edited = configuration({media}, {editor});
    edited.launchAtLogin = true;
    ASSERT_TRUE(controller->updateConfiguration(edited).isReady());
    auto again = controller->handleDrivesChanged();
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(again.isReady());
    EXPECT_EQ(service->pendingCount(), 0);
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(logger->take(),
              (QStringList{"Media was unmounted by another program; it stays unmounted until a "
                           "bound app launches again.",
                           "Drive status for Media: not mounted.", "Drive configuration updated.",
                           "Drive status for Media: not mounted."}));

    auto relaunch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::notMounted());
    service->succeed();
    ASSERT_TRUE(relaunch.isReady());
    EXPECT_EQ(statusOf(media), Status::mounted());
}

// A drive pulled out while its unmount waits ends that wait; a reminder ends when a bound app runs
// again, even for a rule that does not mount on launch.
TEST_F(ControllerDriveTest, ARemovedDriveEndsItsPendingUnmountAndARelaunchClearsTheReminder) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    auto notes = rule("Notes", {editor.id}, PostQuitAction::Remind);
    notes.mountOnAppLaunch = false;
    start(configuration({media, notes}, {editor}));
    launchMounted(editorID);
    auto quit = terminate(editorID);
    service->answerStatus(Status::mounted());
    EXPECT_EQ(delay.pendingSeconds(), QList<qint64>{30});

    auto removed = controller->handleDrivesChanged();
    service->answerStatus(Status::targetNotFound());
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(removed.isReady());
    drainEvents();
    ASSERT_TRUE(quit.isReady());
    EXPECT_TRUE(delay.pendingSeconds().isEmpty());
    EXPECT_EQ(statusOf(media), Status::targetNotFound());
    EXPECT_EQ(statusOf(notes), Status::readyToUnmount());
    EXPECT_TRUE(logger->take().contains("Auto-unmount cancelled because Media was removed."));

    runningNow.insert(editorID);
    auto relaunch = controller->handleAppLaunched(editorID);
    EXPECT_EQ(statusOf(notes), Status::mounted());
    service->answerStatus(Status::targetNotFound());
    service->fail(TarnwellError::driveNotFound());
    ASSERT_TRUE(relaunch.isReady());
    EXPECT_EQ(logger->lines.mid(0, 2),
              (QStringList{"App launched: org.example.editor",
                           "Reminder cleared because a bound app is running again."}));
    EXPECT_EQ(service->callLog.count("unmount Media"), 0);
}

} // namespace
} // namespace tarnwell::testing
