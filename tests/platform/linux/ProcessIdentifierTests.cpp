#include "LinuxTestSupport.h"
#include "platform/linux/ProcessIdentifier.h"

namespace tarnwell {
namespace {

using Environment = QMap<QByteArray, QByteArray>;
using testing::FakeProcess;

class ProcessIdentifierTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        for (const char* program : {"cutter", "python3.11", "bash", "flatpak", "steam", "wine", "editor"}) {
            addProgram(QString::fromLatin1(program), false);
        }
        addEntry(QStringLiteral("org.example.Cutter"), "cutter %F");
        addEntry(QStringLiteral("org.example.Tool"), "python3.11 -u " + root.toUtf8() + "/opt/tool/main.py");
        addEntry(QStringLiteral("org.example.Shell"), "bash");
        // Programs that many entries launch: two Flatpak applications, Steam with a game shortcut,
        // and an entry that runs its program through env.
        addEntry(QStringLiteral("org.example.FlatA"), "flatpak run --branch=stable org.example.FlatA");
        addEntry(QStringLiteral("org.example.FlatB"), "flatpak run org.example.FlatB");
        addEntry(QStringLiteral("steam"), "steam %U");
        addEntry(QStringLiteral("Game 4242"), "steam steam://rungameid/4242");
        addEntry(QStringLiteral("org.example.Windows"), "env WINEPREFIX=/x wine /x/app.exe");
        addEntry(QStringLiteral("org.example.Wrapped"), "env -u X LANG=C editor --safe");
    }
};

TEST_F(ProcessIdentifierTests, FlatpakThenOwnProgramThenLauncherHintThenSystemdUnit) {
    const QString script = root + QStringLiteral("/opt/tool/main.py");
    const Environment launchedB{
        {"GIO_LAUNCHED_DESKTOP_FILE", applications.toUtf8() + "/org.example.FlatB.desktop"},
        {"GIO_LAUNCHED_DESKTOP_FILE_PID", "18"}};
    const QString unit =
        QStringLiteral("0::/user.slice/user@0.service/app.slice/app-gnome-org.example.Unit-42.scope\n");
    struct Row {
        const char* what;
        FakeProcess process;
        std::optional<QString> id;
    };
    QList<Row> rows{
        {"program", process(10, "cutter"), QStringLiteral("org.example.Cutter")},
        {"script", process(12, "python3.11", 100, {"python3.11", "-u", script}),
         QStringLiteral("org.example.Tool")},
        {"relative script", process(13, "python3.11", 100, {"python3", "main.py"}),
         QStringLiteral("org.example.Tool")},
        {"other script", process(14, "python3.11", 100, {"python3.11", root + "/opt/other.py"}),
         std::nullopt},
        {"bare shell", process(15, "bash"), std::nullopt},
        {"command, not a script", process(16, "python3.11", 100, {"python3.11", "-c", script}), std::nullopt},
        {"flatpak claimed by two entries", process(17, "flatpak"), std::nullopt},
        {"flatpak with the launcher's hint", process(18, "flatpak"), QStringLiteral("org.example.FlatB")},
        {"hint inherited by a child", process(19, "flatpak"), std::nullopt},
        {"steam claimed by two entries", process(20, "steam"), std::nullopt},
        {"wine under env", process(21, "wine"), std::nullopt},
        {"BAMF hint", process(22, "bash"), QStringLiteral("org.example.Hinted")},
        {"unreadable environment, systemd unit", process(23, "steam"), QStringLiteral("org.example.Unit")},
        {"sandboxed", process(24, "cutter"), QStringLiteral("org.example.Sandboxed")},
        {"program run through env", process(25, "editor"), QStringLiteral("org.example.Wrapped")},
    };
    rows[2].process.workingDirectory = root + QStringLiteral("/opt/tool");
    rows[7].process.environment = launchedB;
    rows[8].process.environment = launchedB;
    rows[11].process.environment =
        Environment{{"BAMF_DESKTOP_FILE_HINT", "/opt/x/org.example.Hinted.desktop"}};
    rows[12].process.environment.reset();
    rows[12].process.cgroup = unit;
    rows[13].process.flatpakApplication = QStringLiteral("org.example.Sandboxed");
    testing::writeFile(script, "print()\n");
    for (const Row& row : rows) {
        writeProcess(row.process);
    }
    ProcessIdentifier identifier(proc, {applications}, bin);
    for (const Row& row : rows) {
        EXPECT_EQ(identifier.identify(row.process.pid), row.id) << row.what;
    }
    EXPECT_EQ(identifier.identify(99), std::nullopt);

    // Entries installed later are seen after a refresh, and a second claim on a program ends its
    // first entry's.
    writeProcess(process(40, "grader"));
    addProgram(QStringLiteral("grader"));
    addEntry(QStringLiteral("org.example.CutterBeta"), "cutter --beta");
    EXPECT_EQ(identifier.identify(40), std::nullopt);
    identifier.refreshIfChanged();
    EXPECT_EQ(identifier.identify(40), QStringLiteral("org.example.grader"));
    EXPECT_EQ(identifier.identify(10), std::nullopt);
}

TEST(ProcessIdentifierCgroups, ApplicationIdsFromSystemdUnitNames) {
    const QString slice = QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/");
    const QList<std::pair<QString, std::optional<QString>>> cases{
        {slice + "app-org.kde.kdenlive-12.scope", QStringLiteral("org.kde.kdenlive")},
        {slice + "app-flatpak-org.example.Cut-98765.scope", QStringLiteral("org.example.Cut")},
        {slice + "app-gnome-firefox\\x2desr-3311.scope", QStringLiteral("firefox-esr")},
        {slice + "app-org.example.Svc@a1b2.service", QStringLiteral("org.example.Svc")},
        {slice + "app-dbus-org.example.Bus.service", QStringLiteral("org.example.Bus")},
        {"12:pids:/\n" + slice + "app-org.x.Y-1.scope/sub", QStringLiteral("org.x.Y")},
        {QStringLiteral("0::/user.slice/user-1000.slice/session-3.scope"), std::nullopt},
        {slice + "app-too-many-parts-1.scope", std::nullopt},
        {slice + "app-nonumber.scope", std::nullopt},
        {QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/init.scope"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& [cgroup, id] : cases) {
        EXPECT_EQ(ProcessIdentifier::applicationIdFromCgroup(cgroup), id) << cgroup.toStdString();
    }
}

} // namespace
} // namespace tarnwell
