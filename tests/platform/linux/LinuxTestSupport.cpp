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

} // namespace tarnwell::testing
