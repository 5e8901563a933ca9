#include "core/support/Localization.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;

TEST(Localization, UntranslatedKeysAreTheirOwnEnglishText) {
    EXPECT_EQ(localized("Drive Mounted"), QStringLiteral("Drive Mounted"));
}

TEST(Localization, FillsPlaceholdersInOrderWithExactIntegers) {
    EXPECT_EQ(
        formatted(QStringLiteral("%lld targets / %lld mounted"), {qint64{3}, qint64{-9007199254740993}}),
        QStringLiteral("3 targets / -9007199254740993 mounted"));
    EXPECT_EQ(formatted(QStringLiteral("Mount failed: %@"), {QStringLiteral("busy %lld %@")}),
              QStringLiteral("Mount failed: busy %lld %@"));
}

TEST(Localization, LiteralPercentAndSurplusPlaceholdersStayReadable) {
    EXPECT_EQ(formatted(QStringLiteral("100%% of %@"), {QStringLiteral("disk")}),
              QStringLiteral("100% of disk"));
    EXPECT_EQ(formatted(QStringLiteral("%@ and %@"), {QStringLiteral("one")}), QStringLiteral("one and %@"));
    EXPECT_EQ(formatted(QStringLiteral("50% done"), {}), QStringLiteral("50% done"));
    EXPECT_EQ(formatted(QStringLiteral("trailing %"), {}), QStringLiteral("trailing %"));
}
