#include "LinuxTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace tarnwell::testing {

void writeFile(const QString& path, const QByteArray& content) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

void PreparedSystem::SetUp() {
    ASSERT_TRUE(folder.isValid());
    root = QDir(folder.path()).canonicalPath();
    proc = root + QStringLiteral("/proc");
    applications = root + QStringLiteral("/share/applications");
    bin = root + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(proc) && QDir().mkpath(bin));
    writeUptime(1000);
}

void PreparedSystem::addProgram(const QString& program, bool withEntry) {
    writeFile(bin + u'/' + program, "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(bin + u'/' + program, QFile::ReadOwner | QFile::ExeOwner));
    if (withEntry) {
        addEntry(QStringLiteral("org.example.") + program, program.toUtf8());
    }
}

void PreparedSystem::addEntry(const QString& id, const QByteArray& exec) {
    writeFile(applications + u'/' + id + QStringLiteral(".desktop"),
              "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nExec=" + exec + '\n');
}

FakeProcess PreparedSystem::process(pid_t pid, const QString& program, quint64 startTime,
                                    QList<QString> arguments) const {
    FakeProcess fake;
    fake.pid = pid;
    fake.startTime = startTime;
    fake.executable = bin + u'/' + program;
    fake.arguments = arguments.isEmpty() ? QList<QString>{program} : std::move(arguments);
    return fake;
}

void PreparedSystem::writeProcess(const FakeProcess& process) const {
    const QString folder = proc + u'/' + QString::number(process.pid);
    const QString building = folder + QStringLiteral(".new");
    QByteArray stat = QByteArray::number(process.pid) + " (" +
                      QFileInfo(process.executable).fileName().toUtf8() + ") S" +
                      QByteArray(" 0").repeated(18);
    writeFile(building + QStringLiteral("/stat"),
              stat + ' ' + QByteArray::number(process.startTime) + " 0 0 0\n");
    writeFile(building + QStringLiteral("/cmdline"), process.arguments.join(QChar(0)).toUtf8() + '\0');
    writeFile(building + QStringLiteral("/cgroup"), process.cgroup.toUtf8());
    writeFile(building + QStringLiteral("/status"),
              "Name:\tx\nTgid:\t" + QByteArray::number(process.threadGroup.value_or(process.pid)) + "\n");
    if (process.environment) {
        QByteArray environment;
        for (auto variable = process.environment->cbegin(); variable != process.environment->cend();
             ++variable) {
            environment += variable.key() + '=' + variable.value() + '\0';
        }
        writeFile(building + QStringLiteral("/environ"), environment);
    }
    QDir().mkpath(building + QStringLiteral("/root"));
    if (process.flatpakApplication) {
        writeFile(building + QStringLiteral("/root/.flatpak-info"),
                  "[Application]\nname=" + process.flatpakApplication->toUtf8() + "\nruntime=runtime/x\n");
    }
    ASSERT_TRUE(QFile::link(process.executable, building + QStringLiteral("/exe")));
    ASSERT_TRUE(QFile::link(process.workingDirectory, building + QStringLiteral("/cwd")));
    if (process.owner) {
        ASSERT_EQ(::chown(QFile::encodeName(building).constData(), *process.owner, *process.owner), 0);
    }
    if (QFileInfo::exists(folder)) {
        ASSERT_TRUE(QDir(folder).removeRecursively());
    }
    ASSERT_TRUE(QDir().rename(building, folder));
}

void PreparedSystem::writeUptime(double seconds) const {
    writeFile(proc + QStringLiteral("/uptime"), QByteArray::number(seconds, 'f', 2) + " 0.00\n");
}

void PreparedSystem::writeLoadAverage(int threads, pid_t lastPid) const {
    writeFile(proc + QStringLiteral("/loadavg"),
              "0.10 0.20 0.30 1/" + QByteArray::number(threads) + ' ' + QByteArray::number(lastPid) + '\n');
}

} // namespace tarnwell::testing
