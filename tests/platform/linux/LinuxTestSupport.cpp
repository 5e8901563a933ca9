#include "LinuxTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tarnwell::testing {

void writeFile(const QString& path, const QByteArray& content) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

void writeProgram(const QString& path) {
    writeFile(path, "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void writeProcess(const QString& procRoot, const FakeProcess& process) {
    const QString folder = procRoot + u'/' + QString::number(process.pid);
    const QString building = folder + QStringLiteral(".new");
    QByteArray stat =
        QByteArray::number(process.pid) + " (" + QFileInfo(process.executable).fileName().toUtf8() + ") S";
    for (int field = 4; field <= 21; ++field) {
        stat += " 0";
    }
    stat += ' ' + QByteArray::number(process.startTime) + " 0 0 0\n";
    writeFile(building + QStringLiteral("/stat"), stat);

    QByteArray commandLine;
    for (const QString& argument : process.arguments) {
        commandLine += argument.toUtf8() + '\0';
    }
    writeFile(building + QStringLiteral("/cmdline"), commandLine);
    writeFile(building + QStringLiteral("/cgroup"), process.cgroup.toUtf8());
    writeFile(building + QStringLiteral("/status"),
              "Name:\tx\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t" +
                  QByteArray::number(process.threadGroup.value_or(process.pid)) + "\nNgid:\t0\n");
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

void writeUptime(const QString& procRoot, double seconds) {
    writeFile(procRoot + QStringLiteral("/uptime"), QByteArray::number(seconds, 'f', 2) + " 0.00\n");
}

void writeLoadAverage(const QString& procRoot, int threads, pid_t lastPid) {
    writeFile(procRoot + QStringLiteral("/loadavg"),
              "0.10 0.20 0.30 1/" + QByteArray::number(threads) + ' ' + QByteArray::number(lastPid) + '\n');
}

void PreparedSystem::SetUp() {
    ASSERT_TRUE(folder.isValid());
    root = QDir(folder.path()).canonicalPath();
    proc = root + QStringLiteral("/proc");
    applications = root + QStringLiteral("/share/applications");
    bin = root + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(proc));
    ASSERT_TRUE(QDir().mkpath(bin));
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

} // namespace tarnwell::testing
