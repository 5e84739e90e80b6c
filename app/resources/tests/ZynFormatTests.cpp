// Filling the "%ls" places of numbered texts, and the version text.

#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"

#include <gtest/gtest.h>

namespace {

std::string Utf8(const QString& s) {
    return s.toStdString();
}

} // namespace

TEST(ZynFormat, FillsThePlacesInOrderAndLeavesTheRest) {
    EXPECT_EQ(Utf8(ZynFormat(50084, {QStringLiteral("1.5"), QStringLiteral("200")})),
              "Autoscale done. Display range is Min=1.5 Max=200");
    EXPECT_EQ(Utf8(ZynFormatText(QStringLiteral("%ls - %ls"), {QStringLiteral("only")})), "only - %ls");
    EXPECT_EQ(Utf8(ZynFormatText(QStringLiteral("[%ls]"), {QStringLiteral("a"), QStringLiteral("b")})),
              "[a]");
    EXPECT_EQ(Utf8(ZynFormat(50083, {QString()})), " has been deleted");
    EXPECT_EQ(Utf8(ZynFormat(50085)), "A data sample has been taken.");
    EXPECT_TRUE(ZynFormat(1, {QStringLiteral("x")}).isEmpty()); // no such text
}

TEST(ZynFormat, TextFromAnArgumentIsNeverScannedAgain) {
    // A channel named "%ls" must not swallow the next argument nor be filled itself.
    EXPECT_EQ(
        Utf8(ZynFormatText(QStringLiteral("Min=%ls Max=%ls"), {QStringLiteral("%ls"), QStringLiteral("9")})),
        "Min=%ls Max=9");
    EXPECT_EQ(Utf8(ZynFormat(50129, {QStringLiteral("Event %ls%ls")})), "Event %ls%ls has been stopped.");
}

TEST(ZynStrings, VersionText) {
    EXPECT_EQ(Utf8(ZynVersionText()), "Zynthar Tallon. Version 2.4  Build#1439");
}
