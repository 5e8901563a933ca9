#include "LinuxTestSupport.h"

#include "support/TaskRunner.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    applications = root + QStringLiteral("/share/applications");
    bin = root + QStringLiteral("/bin");
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

std::shared_ptr<DesktopEntryCatalog> PreparedSystem::readCatalog() const {
    auto catalog = std::make_shared<DesktopEntryCatalog>(QList<QString>{applications}, bin);
    EXPECT_TRUE(runUntil([&] { return catalog->current() != nullptr; }));
    return catalog;
}

} // namespace tarnwell::testing
