#include "core/support/PlatformError.h"
#include "platform/SettingsPreferencesStore.h"
#include "support/QtPrinters.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace tarnwell;

namespace {

const QString key = QStringLiteral("Tarnwell.configuration.v2");

class SettingsFile : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_folder.filePath(name); }

    static mode_t modeOf(const QString& file) {
        struct stat status {};
        EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
        return status.st_mode & 0777;
    }

    QTemporaryDir m_folder;
};

} // namespace

TEST_F(SettingsFile, AFailedSaveChangesNothingAndTheNextSaveStartsFromTheFileAsItIsNow) {
    const QString folder = path(QStringLiteral("config"));
    SettingsPreferencesStore store(folder + QStringLiteral("/Tarnwell.conf"));
    EXPECT_EQ(store.data(key), std::nullopt);
    store.setData(key, "first \xc3\xa9");

    // A plain file where the folder should be stops even root.
    ASSERT_TRUE(QDir().rename(folder, path(QStringLiteral("away"))));
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(store.setData(key, "second"), PlatformError);
    EXPECT_THROW(store.setData(QStringLiteral("other"), "third"), PlatformError);

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("away")), folder));
    EXPECT_EQ(store.data(key), QByteArray("first \xc3\xa9"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Tarnwell.conf")});
    // A value another program wrote meanwhile survives the next save of another key.
    SettingsPreferencesStore(store.fileName()).setData(QStringLiteral("Tarnwell.rule.v1"), "edited by hand");
    store.setData(key, "fourth");
    SettingsPreferencesStore reopened(store.fileName());
    EXPECT_EQ(reopened.data(key), QByteArray("fourth"));
    EXPECT_EQ(reopened.data(QStringLiteral("Tarnwell.rule.v1")), QByteArray("edited by hand"));
    EXPECT_EQ(reopened.data(QStringLiteral("other")), std::nullopt);
}

TEST_F(SettingsFile, ALineThatCannotBeReadNeitherBlocksSavesNorIsLost) {
    const QString file = path(QStringLiteral("Tarnwell.conf"));
    const QByteArray edited =
        "[General]\nTarnwell.rule.v1=@ByteArray(kept)\n[Window\nwidth=980\nno equals sign\n";
    QFile hand(file);
    ASSERT_TRUE(hand.open(QIODevice::WriteOnly) && hand.write(edited) == edited.size());
    hand.close();

    SettingsPreferencesStore store(file);
    store.setData(key, "first");
    store.setData(key, "second");
    EXPECT_EQ(store.data(key), QByteArray("second"));
    EXPECT_EQ(store.data(QStringLiteral("Tarnwell.rule.v1")), QByteArray("kept"));
    EXPECT_EQ(store.data(QStringLiteral("Window/width")), QByteArray("980"));
    // The file as the user left it stays beside the save, once.
    const QStringList kept = QDir(m_folder.path()).entryList({QStringLiteral("Tarnwell.conf.*")});
    ASSERT_EQ(kept.size(), 1) << kept.join(u' ').toStdString();
    QFile copy(path(kept.first()));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), edited);
}

// A failure says why in the system's words, as the user will read it.
TEST_F(SettingsFile, AFailedSaveGivesTheSystemsReason) {
    const QString folder = path(QStringLiteral("mounted"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray native = QFile::encodeName(folder);
    if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a file system of its own: " << std::strerror(errno);
    }
    const auto reason = [&](const QByteArray& value) {
        try {
            SettingsPreferencesStore(folder + QStringLiteral("/Tarnwell.conf")).setData(key, value);
        } catch (const PlatformError& error) {
            return error.message();
        }
        return QString();
    };
    EXPECT_EQ(reason("first"), QString());
    ASSERT_EQ(::mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_TRUE(reason("second").endsWith(QString::fromLocal8Bit(std::strerror(EROFS))))
        << reason("second").toStdString();
    ASSERT_EQ(::mount(nullptr, native.constData(), nullptr, MS_REMOUNT, nullptr), 0);
    QFile filler(folder + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
    }
    filler.close();
    EXPECT_TRUE(reason(QByteArray(8192, 'y')).endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << reason(QByteArray(8192, 'y')).toStdString();
    EXPECT_EQ(::umount2(native.constData(), 0), 0);
}

TEST_F(SettingsFile, TheFileFollowsTheUmaskButIsNeverWritableByEveryone) {
    const mode_t saved = ::umask(0);
    SettingsPreferencesStore open(path(QStringLiteral("open.conf")));
    open.setData(key, "x");
    ::umask(077);
    SettingsPreferencesStore closed(path(QStringLiteral("closed.conf")));
    closed.setData(key, "x");
    ::umask(saved);
    EXPECT_EQ(modeOf(open.fileName()), 0664u);
    EXPECT_EQ(modeOf(closed.fileName()), 0600u);

    // A later save keeps the mode the user gave the file.
    ASSERT_EQ(::chmod(QFile::encodeName(closed.fileName()).constData(), 0640), 0);
    closed.setData(key, "y");
    EXPECT_EQ(modeOf(closed.fileName()), 0640u);
}

TEST_F(SettingsFile, ASaveKilledAtAnyPointLeavesTheOldOrTheNewDocument) {
    const QString file = path(QStringLiteral("Tarnwell.conf"));
    const QByteArray first(20'000, 'a');
    const QByteArray second(20'000, 'b');
    SettingsPreferencesStore(file).setData(key, first);
    for (int round = 0; round < 30; ++round) {
        QProcess child;
        child.start(QStringLiteral(TARNWELL_SAVING_CHILD), {file});
        ASSERT_TRUE(child.waitForReadyRead(30'000));
        // Readers meanwhile, and after the kill, see one whole document or the other.
        QDeadlineTimer deadline(QRandomGenerator::global()->bounded(0, 150));
        for (bool killed = false; !killed;) {
            if (deadline.hasExpired()) {
                child.kill();
                killed = child.waitForFinished();
            }
            const auto value = SettingsPreferencesStore(file).data(key);
            EXPECT_TRUE(value == first || value == second) << round << ": " << (value ? value->size() : -1);
        }
    }
}
