#include "core/support/Observe.h"
#include "platform/LogService.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

QDateTime fixedMoment() {
    return QDateTime(QDate(2026, 12, 6), QTime(19, 40, 6), Qt::UTC);
}

TEST(LogServiceTests, KeepsTheNewestLinesUpToTheLimitOldestFirstWithUtcTimes) {
    EXPECT_EQ(LogService::entry(fixedMoment().toTimeZone(QTimeZone("Europe/Berlin")), "Drive mounted"),
              QStringLiteral("[2026-12-06 19:40:06 +0000] Drive mounted"));
    LogService log(LogService::defaultLimit, &fixedMoment);
    EXPECT_EQ(log.copyableText(), QString());
    log.record(QStringLiteral("first\nsecond"));
    for (int index = 2; index <= 301; ++index) {
        log.record(QString::number(index));
    }
    ASSERT_EQ(log.entries().size(), 300);
    EXPECT_EQ(log.entries().first(), QStringLiteral("[2026-12-06 19:40:06 +0000] 2"));
    EXPECT_TRUE(log.copyableText().endsWith("] 300\n[2026-12-06 19:40:06 +0000] 301"));
    LogService twoLines(2, &fixedMoment);
    twoLines.record(QStringLiteral("first\nsecond"));
    twoLines.record(QStringLiteral("third"));
    EXPECT_EQ(twoLines.copyableText(),
              QStringLiteral("[2026-12-06 19:40:06 +0000] first\nsecond\n[2026-12-06 19:40:06 +0000] third"));
}

TEST(LogServiceTests, LimitZeroKeepsNothingButPublishesBothChanges) {
    LogService log(0, &fixedMoment);
    QList<qsizetype> sizes;
    observe(&log, &LogService::entriesChanged, &LogService::entries,
            [&](const QList<QString>& entries) { sizes.append(entries.size()); });
    log.record(QStringLiteral("one"));
    EXPECT_EQ(sizes, (QList<qsizetype>{0, 1, 0}));
}

TEST(LogServiceTests, EveryLineGoesToTheActivityCategory) {
    static QList<QString> captured;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type == QtInfoMsg && QByteArray(context.category) == "tarnwell.activity") {
                captured.append(message);
            }
        });
    LogService(LogService::defaultLimit, &fixedMoment)
        .record(QStringLiteral("Observed app launch: org.kde.kdenlive"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(captured, QList<QString>{"[2026-12-06 19:40:06 +0000] Observed app launch: org.kde.kdenlive"});
}

} // namespace
} // namespace tarnwell
