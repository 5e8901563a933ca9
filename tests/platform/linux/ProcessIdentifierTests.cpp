#include "LinuxTestSupport.h"
#include "platform/linux/ProcessIdentifier.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::FakeProcess;
using testing::writeFile;
using testing::writeProcess;

class ProcessIdentifierTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        root = QDir(folder.path()).canonicalPath();
        proc = root + QStringLiteral("/proc");
        applications = root + QStringLiteral("/share/applications");
        bin = root + QStringLiteral("/bin");
        QDir().mkpath(proc);
        for (const QString& program :
             {QStringLiteral("cutter"), QStringLiteral("python3.11"), QStringLiteral("bash")}) {
            writeFile(bin + u'/' + program, "#!/bin/sh\n");
            QFile::setPermissions(bin + u'/' + program, QFile::ReadOwner | QFile::ExeOwner);
        }
        writeFile(root + QStringLiteral("/opt/tool/main.py"), "print()\n");
        writeFile(applications + QStringLiteral("/org.example.Cutter.desktop"),
                  "[Desktop Entry]\nName=Cutter\nExec=cutter %F\n");
        writeFile(applications + QStringLiteral("/org.example.Tool.desktop"),
                  "[Desktop Entry]\nName=Tool\nExec=python3.11 -u " + root.toUtf8() + "/opt/tool/main.py\n");
        writeFile(applications + QStringLiteral("/org.example.Shell.desktop"),
                  "[Desktop Entry]\nName=Shell\nExec=bash\n");
    }

    ProcessIdentifier identifier() { return ProcessIdentifier(proc, {applications}, bin); }

    FakeProcess process(pid_t pid, const QString& program, QList<QString> arguments = {}) {
        FakeProcess fake;
        fake.pid = pid;
        fake.startTime = 100;
        fake.executable = bin + u'/' + program;
        fake.arguments = arguments.isEmpty() ? QList<QString>{program} : arguments;
        return fake;
    }

    QTemporaryDir folder;
    QString root;
    QString proc;
    QString applications;
    QString bin;
};

TEST_F(ProcessIdentifierTests, ExecutableOfADesktopEntryNamesTheApplication) {
    writeProcess(proc, process(10, QStringLiteral("cutter")));
    EXPECT_EQ(identifier().identify(10), QStringLiteral("org.example.Cutter"));
}

TEST_F(ProcessIdentifierTests, FlatpakIdComesFirst) {
    FakeProcess fake = process(11, QStringLiteral("cutter"));
    fake.flatpakApplication = QStringLiteral("org.example.Flat");
    writeProcess(proc, fake);
    EXPECT_EQ(identifier().identify(11), QStringLiteral("org.example.Flat"));
}

TEST_F(ProcessIdentifierTests, InterpreterIsNamedByItsScriptNotByItself) {
    writeProcess(proc, process(12, QStringLiteral("python3.11"),
                               {QStringLiteral("python3.11"), QStringLiteral("-u"),
                                root + QStringLiteral("/opt/tool/main.py")}));
    FakeProcess relative =
        process(13, QStringLiteral("python3.11"), {QStringLiteral("python3"), QStringLiteral("main.py")});
    relative.workingDirectory = root + QStringLiteral("/opt/tool");
    writeProcess(proc, relative);
    writeProcess(proc, process(14, QStringLiteral("python3.11"),
                               {QStringLiteral("python3.11"), root + QStringLiteral("/opt/other.py")}));
    // A shell is an interpreter too: an entry that runs a bare shell names no process.
    writeProcess(proc, process(15, QStringLiteral("bash")));
    // A command is no script, even when it reads like the script's path.
    writeProcess(proc, process(16, QStringLiteral("python3.11"),
                               {QStringLiteral("python3.11"), QStringLiteral("-c"),
                                root + QStringLiteral("/opt/tool/main.py")}));

    ProcessIdentifier identify = identifier();
    EXPECT_EQ(identify.identify(12), QStringLiteral("org.example.Tool"));
    EXPECT_EQ(identify.identify(13), QStringLiteral("org.example.Tool"));
    EXPECT_EQ(identify.identify(14), std::nullopt);
    EXPECT_EQ(identify.identify(15), std::nullopt);
    EXPECT_EQ(identify.identify(16), std::nullopt);
}

TEST_F(ProcessIdentifierTests, LauncherHintsCountOnlyForTheLaunchedProcess) {
    FakeProcess launched = process(20, QStringLiteral("bash"));
    launched.environment = QMap<QByteArray, QByteArray>{
        {"GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/kde4/editor.desktop"},
        {"GIO_LAUNCHED_DESKTOP_FILE_PID", "20"}};
    writeProcess(proc, launched);
    FakeProcess child = launched;
    child.pid = 21;
    writeProcess(proc, child);
    FakeProcess hinted = process(22, QStringLiteral("bash"));
    hinted.environment =
        QMap<QByteArray, QByteArray>{{"BAMF_DESKTOP_FILE_HINT", "/opt/x/org.example.Hinted.desktop"}};
    writeProcess(proc, hinted);

    ProcessIdentifier identify = identifier();
    EXPECT_EQ(identify.identify(20), QStringLiteral("kde4-editor"));
    EXPECT_EQ(identify.identify(21), std::nullopt);
    EXPECT_EQ(identify.identify(22), QStringLiteral("org.example.Hinted"));
}

TEST_F(ProcessIdentifierTests, UnreadableEnvironmentFallsThroughToTheSystemdUnit) {
    FakeProcess fake = process(30, QStringLiteral("bash"));
    fake.environment.reset();
    fake.cgroup = QStringLiteral("0::/user.slice/user-0.slice/user@0.service/app.slice/"
                                 "app-gnome-org.example.Unit-4242.scope\n");
    writeProcess(proc, fake);
    EXPECT_EQ(identifier().identify(30), QStringLiteral("org.example.Unit"));
    EXPECT_EQ(identifier().identify(31), std::nullopt);
}

TEST_F(ProcessIdentifierTests, NewDesktopEntriesAreSeenAfterARefresh) {
    writeFile(bin + QStringLiteral("/grader"), "#!/bin/sh\n");
    QFile::setPermissions(bin + QStringLiteral("/grader"), QFile::ReadOwner | QFile::ExeOwner);
    writeProcess(proc, process(40, QStringLiteral("grader")));
    ProcessIdentifier identify = identifier();
    EXPECT_EQ(identify.identify(40), std::nullopt);
    writeFile(applications + QStringLiteral("/org.example.Grader.desktop"),
              "[Desktop Entry]\nName=Grader\nExec=grader\n");
    identify.refreshIfChanged();
    EXPECT_EQ(identify.identify(40), QStringLiteral("org.example.Grader"));
}

TEST(ProcessIdentifierCgroups, ApplicationIdsFromSystemdUnitNames) {
    const QList<std::pair<QString, std::optional<QString>>> cases{
        {QStringLiteral(
             "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.kdenlive-12.scope"),
         QStringLiteral("org.kde.kdenlive")},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                        "app-flatpak-org.example.Cut-98765.scope"),
         QStringLiteral("org.example.Cut")},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                        "app-gnome-firefox\\x2desr-3311.scope"),
         QStringLiteral("firefox-esr")},
        {QStringLiteral(
             "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.example.Svc@a1b2.service"),
         QStringLiteral("org.example.Svc")},
        {QStringLiteral(
             "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-dbus-org.example.Bus.service"),
         QStringLiteral("org.example.Bus")},
        {QStringLiteral(
             "12:pids:/\n0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.x.Y-1.scope/sub"),
         QStringLiteral("org.x.Y")},
        {QStringLiteral("0::/user.slice/user-1000.slice/session-3.scope"), std::nullopt},
        {QStringLiteral(
             "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-too-many-parts-1.scope"),
         std::nullopt},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-nonumber.scope"),
         std::nullopt},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/init.scope"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& [cgroup, id] : cases) {
        EXPECT_EQ(ProcessIdentifier::applicationIdFromCgroup(cgroup), id) << cgroup.toStdString();
    }
}

} // namespace
} // namespace tarnwell
