#include "fuzz/FuzzEntryPoints.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarnwell::fuzzing;

namespace tarnwell::fuzzing {
void PrintTo(const EntryPoint& entryPoint, std::ostream* stream) {
    *stream << entryPoint.name.toStdString();
}
} // namespace tarnwell::fuzzing

namespace {

class CorpusReplay : public ::testing::TestWithParam<EntryPoint> {};

} // namespace

// Every corpus file goes through the reader it was collected for. A file named "accept-..." must be
// read and one named "reject-..." refused; the others, found by the fuzzer, must only be read or
// refused cleanly.
TEST_P(CorpusReplay, EveryFileIsReadOrRefusedCleanly) {
    const QDir folder(QStringLiteral(TARNWELL_FUZZ_CORPUS "/") + GetParam().name);
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << folder.path().toStdString();
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        Outcome outcome = Outcome::Rejected;
        EXPECT_NO_THROW(outcome = GetParam().read(file.readAll()));
        if (name.startsWith(u"accept-")) {
            EXPECT_EQ(outcome, Outcome::Accepted);
        } else if (name.startsWith(u"reject-")) {
            EXPECT_EQ(outcome, Outcome::Rejected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusReplay, ::testing::ValuesIn(entryPoints()),
                         [](const ::testing::TestParamInfo<EntryPoint>& info) {
                             return QString(info.param.name).replace(u'-', u'_').toStdString();
                         });
