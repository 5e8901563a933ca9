#include "core/support/Observe.h"
#include "platform/LogService.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

QDateTime fixedMoment() {
    return QDateTime(QDate(2026, 12, 6), QTime(19, 40, 6), Qt::UTC);
}

TEST(LogServiceTests, EntryCarriesUtcTimestampWhateverTheClockZone) {
    const QDateTime inBerlin = fixedMoment().toTimeZone(QTimeZone("Europe/Berlin"));
    EXPECT_EQ(LogService::entry(inBerlin, QStringLiteral("Drive mounted")),
              QStringLiteral("[2026-12-06 19:40:06 +0000] Drive mounted"));
}

TEST(LogServiceTests, KeepsTheNewestLinesUpToTheLimitOldestFirst) {
    LogService log(LogService::defaultLimit, &fixedMoment);
    for (int index = 1; index <= 301; ++index) {
        log.record(QString::number(index));
    }
    ASSERT_EQ(log.entries().size(), 300);
    EXPECT_EQ(log.entries().first(), LogService::entry(fixedMoment(), QStringLiteral("2")));
    EXPECT_EQ(log.entries().last(), LogService::entry(fixedMoment(), QStringLiteral("301")));
}

TEST(LogServiceTests, LimitZeroKeepsNothingButStillPublishesBothChanges) {
    LogService log(0, &fixedMoment);
    QList<qsizetype> sizes;
    observe(&log, &LogService::entriesChanged, &LogService::entries,
            [&](const QList<QString>& entries) { sizes.append(entries.size()); });
    log.record(QStringLiteral("one"));
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_EQ(sizes, (QList<qsizetype>{0, 1, 0}));
}

TEST(LogServiceTests, CopyableTextJoinsLinesAndKeepsMultilineMessagesWhole) {
    LogService log(LogService::defaultLimit, &fixedMoment);
    EXPECT_EQ(log.copyableText(), QString());
    log.record(QStringLiteral("first\nsecond"));
    log.record(QStringLiteral("third"));
    ASSERT_EQ(log.entries().size(), 2);
    EXPECT_EQ(log.copyableText(), QStringLiteral("[2026-12-06 19:40:06 +0000] first\nsecond\n"
                                                 "[2026-12-06 19:40:06 +0000] third"));
}

TEST(LogServiceTests, EveryLineGoesToTheActivityCategory) {
    static QList<QString> captured;
    captured.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type == QtInfoMsg && QByteArray(context.category) == "tarnwell.activity") {
                captured.append(message);
            }
        });
    LogService log(LogService::defaultLimit, &fixedMoment);
    log.record(QStringLiteral("Observed app launch: org.kde.kdenlive"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(captured, QList<QString>{QStringLiteral(
                            "[2026-12-06 19:40:06 +0000] Observed app launch: org.kde.kdenlive")});
}

} // namespace
} // namespace tarnwell
