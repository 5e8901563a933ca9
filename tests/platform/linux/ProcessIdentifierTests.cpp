#include "LinuxTestSupport.h"
#include "platform/linux/ProcessIdentifier.h"

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::FakeProcess;
using testing::writeFile;
using testing::writeProcess;

class ProcessIdentifierTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        for (const QString& program :
             {QStringLiteral("cutter"), QStringLiteral("python3.11"), QStringLiteral("bash")}) {
            addProgram(program);
        }
        writeFile(root + QStringLiteral("/opt/tool/main.py"), "print()\n");
        addEntry(QStringLiteral("org.example.Cutter"), "cutter %F");
        addEntry(QStringLiteral("org.example.Tool"), "python3.11 -u " + root.toUtf8() + "/opt/tool/main.py");
        addEntry(QStringLiteral("org.example.Shell"), "bash");
    }

    ProcessIdentifier identifier() { return ProcessIdentifier(proc, {applications}, bin); }
};

TEST_F(ProcessIdentifierTests, FlatpakIdComesBeforeTheDesktopEntryOfTheExecutable) {
    writeProcess(proc, process(10, QStringLiteral("cutter")));
    FakeProcess flatpak = process(11, QStringLiteral("cutter"));
    flatpak.flatpakApplication = QStringLiteral("org.example.Flat");
    writeProcess(proc, flatpak);
    ProcessIdentifier identify = identifier();
    EXPECT_EQ(identify.identify(10), QStringLiteral("org.example.Cutter"));
    EXPECT_EQ(identify.identify(11), QStringLiteral("org.example.Flat"));
}

TEST_F(ProcessIdentifierTests, InterpreterIsNamedByItsScriptNotByItself) {
    writeProcess(proc, process(12, QStringLiteral("python3.11"), 100,
                               {QStringLiteral("python3.11"), QStringLiteral("-u"),
                                root + QStringLiteral("/opt/tool/main.py")}));
    FakeProcess relative = process(13, QStringLiteral("python3.11"), 100,
                                   {QStringLiteral("python3"), QStringLiteral("main.py")});
    relative.workingDirectory = root + QStringLiteral("/opt/tool");
    writeProcess(proc, relative);
    writeProcess(proc, process(14, QStringLiteral("python3.11"), 100,
                               {QStringLiteral("python3.11"), root + QStringLiteral("/opt/other.py")}));
    // A shell is an interpreter too: an entry that runs a bare shell names no process.
    writeProcess(proc, process(15, QStringLiteral("bash")));
    // A command is no script, even when it reads like the script's path.
    writeProcess(proc, process(16, QStringLiteral("python3.11"), 100,
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
    addProgram(QStringLiteral("grader"));
    writeProcess(proc, process(40, QStringLiteral("grader")));
    ProcessIdentifier identify = identifier();
    EXPECT_EQ(identify.identify(40), std::nullopt);
    addEntry(QStringLiteral("org.example.Grader"), "grader");
    identify.refreshIfChanged();
    EXPECT_EQ(identify.identify(40), QStringLiteral("org.example.Grader"));
}

TEST(ProcessIdentifierCgroups, ApplicationIdsFromSystemdUnitNames) {
    const auto appSlice = [](const char* unit) {
        return QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/") +
               QLatin1String(unit);
    };
    const QList<std::pair<QString, std::optional<QString>>> cases{
        {appSlice("app-org.kde.kdenlive-12.scope"), QStringLiteral("org.kde.kdenlive")},
        {appSlice("app-flatpak-org.example.Cut-98765.scope"), QStringLiteral("org.example.Cut")},
        {appSlice("app-gnome-firefox\\x2desr-3311.scope"), QStringLiteral("firefox-esr")},
        {appSlice("app-org.example.Svc@a1b2.service"), QStringLiteral("org.example.Svc")},
        {appSlice("app-dbus-org.example.Bus.service"), QStringLiteral("org.example.Bus")},
        {QStringLiteral("12:pids:/\n") + appSlice("app-org.x.Y-1.scope/sub"), QStringLiteral("org.x.Y")},
        {QStringLiteral("0::/user.slice/user-1000.slice/session-3.scope"), std::nullopt},
        {appSlice("app-too-many-parts-1.scope"), std::nullopt},
        {appSlice("app-nonumber.scope"), std::nullopt},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/init.scope"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& [cgroup, id] : cases) {
        EXPECT_EQ(ProcessIdentifier::applicationIdFromCgroup(cgroup), id) << cgroup.toStdString();
    }
}

} // namespace
} // namespace tarnwell
