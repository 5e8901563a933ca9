#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>

namespace tarnwell::fuzzing {

// Each entry point reads one untrusted input the way Tarnwell does. A rejection the reader reports
// is a normal outcome; a crash, a sanitizer report, any other exception or a broken invariant (say,
// a record that reads back different after being written) is a finding.
enum class Outcome { Accepted, Rejected };

// The configuration document and the legacy envelope, decoded alone and by the configuration store.
Outcome readConfiguration(const QByteArray& data);
// A property list, read, written back and parsed as each of the disk tool's documents.
Outcome readDiskToolOutput(const QByteArray& data);
// A udev database record and a mount table as the disk tool reads them, and the property list it
// writes from what they hold.
Outcome readBlockDeviceRecords(const QByteArray& data);
Outcome readDesktopEntry(const QByteArray& data);
Outcome readMountInfo(const QByteArray& data);
// The /proc/PID stat, cmdline and cgroup texts.
Outcome readProcessFiles(const QByteArray& data);

struct EntryPoint {
    QString name; // the corpus folder
    Outcome (*read)(const QByteArray& data);
};

const QList<EntryPoint>& entryPoints();

} // namespace tarnwell::fuzzing

// The whole of a libFuzzer harness: every input goes to one entry point.
#define TARNWELL_FUZZ_HARNESS(entryPoint)                                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {                     \
        entryPoint(                                                                                          \
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));     \
        return 0;                                                                                            \
    }
