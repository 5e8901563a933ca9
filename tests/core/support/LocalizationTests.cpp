#include "core/support/Localization.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;

TEST(Localization, FillsPlaceholdersInOrderWithExactIntegersAndKeepsTheRestReadable) {
    const std::pair<QString, QString> cases[] = {
        {localized("Drive Mounted"), "Drive Mounted"},
        {formatted("%lld targets / %lld mounted", {qint64{3}, qint64{-9007199254740993}}),
         "3 targets / -9007199254740993 mounted"},
        {formatted("Mount failed: %@", {QStringLiteral("busy %lld %@")}), "Mount failed: busy %lld %@"},
        {formatted("100%% of %@", {QStringLiteral("disk")}), "100% of disk"},
        {formatted("%@ and %@", {QStringLiteral("one")}), "one and %@"},
        {formatted("50% done", {}), "50% done"},
        {formatted("trailing %", {}), "trailing %"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(text, expected);
    }
}
