// How values enter SQL text, and the Brazilian number rules.
#include "import/sql_text.h"

#include <gtest/gtest.h>

TEST(SqlText, QuoteDoublesApostrophes)
{
    EXPECT_EQ(sql::quote(QStringLiteral("D'AGUA")), QStringLiteral("D''AGUA"));
    EXPECT_EQ(sql::quote(QStringLiteral("x' or '1'='1")), QStringLiteral("x'' or ''1''=''1"));
    EXPECT_EQ(sql::quote(QStringLiteral("sem aspas")), QStringLiteral("sem aspas"));
}

TEST(SqlText, RegionalNumberText)
{
    EXPECT_EQ(sql::regionalNumber(18), QStringLiteral("18"));
    EXPECT_EQ(sql::regionalNumber(17.5), QStringLiteral("17.5"));
    EXPECT_EQ(sql::regionalNumber(7.000000000000001), QStringLiteral("7"));
    EXPECT_EQ(sql::regionalNumber(100 * (7 * 0.01)), QStringLiteral("7"));
    EXPECT_EQ(sql::regionalNumber(0.04), QStringLiteral("0.04"));
    EXPECT_EQ(sql::regionalNumber(19.8), QStringLiteral("19.8"));
    EXPECT_EQ(sql::regionalNumber(110.00000000000001), QStringLiteral("110"));
    EXPECT_EQ(sql::regionalNumber(-2.5), QStringLiteral("-2.5"));
    EXPECT_EQ(sql::regionalNumber(0), QStringLiteral("0"));
    EXPECT_EQ(sql::regionalNumber(-0.0), QStringLiteral("0"));
    // No exponent, no grouping, 15 significant digits.
    EXPECT_EQ(sql::regionalNumber(0.0000001), QStringLiteral("0.0000001"));
    EXPECT_EQ(sql::regionalNumber(1234567.25), QStringLiteral("1234567.25"));
    EXPECT_EQ(sql::regionalNumber(1e20), QStringLiteral("100000000000000000000"));
    EXPECT_EQ(sql::regionalNumber(123456789012345678.0), QStringLiteral("123456789012346000"));
    EXPECT_EQ(sql::regionalNumber(1.0 / 3), QStringLiteral("0.333333333333333"));
}

TEST(SqlText, NumericTestFollowsBrazilianSettings)
{
    for (const char* yes : {"0", "77", " 12 ", "-5", "+5", "12,5", "1.234,56", "123.456.789", "123456789", ",5"})
        EXPECT_TRUE(sql::isNumeric(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"", "   ", "-", "abc", "12a", "1,2,3", "1,2.3", "___.___.___-__", "__.___.___/____-__",
                           "123.456.789-09", "12/34"})
        EXPECT_FALSE(sql::isNumeric(QString::fromLatin1(no))) << no;
}

TEST(SqlText, ParseDecimalTakesPointOrComma)
{
    EXPECT_EQ(sql::parseDecimal(QStringLiteral("150.90")), 150.9);
    EXPECT_EQ(sql::parseDecimal(QStringLiteral("150,90")), 150.9);
    EXPECT_EQ(sql::parseDecimal(QStringLiteral(" 2 ")), 2.0);
    EXPECT_EQ(sql::parseDecimal(QStringLiteral("-0,5")), -0.5);
    for (const char* no : {"", " ", "1.234,56", "1,2,3", "abc", "1e5", ".", "-", "0x10", "inf"})
        EXPECT_FALSE(sql::parseDecimal(QString::fromLatin1(no)).has_value()) << no;
}
