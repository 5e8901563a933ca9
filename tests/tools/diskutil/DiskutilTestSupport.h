#pragma once

#include "core/support/PropertyList.h"
#include "diskutil/CommandRunning.h"
#include "support/QtPrinters.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace tarnwell::testing {

QByteArray diskutilFixture(const QString& name);

// Arguments travel as text; bytes that are no UTF-8 reach a program as this text given to
// `printf '%b'` in a shell of the test's own.
QString printfOctal(const QByteArray& bytes);

CommandResult runProgram(const QString& program, const QStringList& arguments);
// Runs the built disk tool as a child process.
CommandResult diskutil(const QStringList& arguments);

// Labels differ between runs so that tests running side by side never meet in /media/.
QString uniqueLabel(const QString& stem);

// Whether the process has got as far as running `sleep`, so that it holds what it was started in.
bool runsSleep(const QProcess& process);

// An ext4 file-system image attached to a loop device. Whatever happens in the test, the
// destructor unmounts what is still mounted (plainly, never forced) and detaches the device.
class LoopVolume {
public:
    // The label is given as bytes, so labels that are no UTF-8 can be made. Null (with a recorded
    // test failure) when any step fails.
    static std::unique_ptr<LoopVolume> create(const QTemporaryDir& directory, const QByteArray& label);
    ~LoopVolume();

    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    const QString& path() const { return m_path; }
    QString name() const;
    // As blkid reads it from the file system, independent of the tool.
    QString uuid() const;
    // Read straight from the kernel's table.
    QStringList mountPoints() const;
    // The tool's `info -plist TARGET` document.
    PropertyList info(const QString& target) const;

private:
    LoopVolume() = default;

    QString m_path;
    QString m_majorMinor;
};

// Skips without root, which loop devices and mounts need; images go to a folder of the test's own.
class RootLoopVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for loop devices and mounts";
        }
        ASSERT_TRUE(m_images.isValid());
    }

    QTemporaryDir m_images;
};

} // namespace tarnwell::testing
