// The Brazilian number rules of the values the statements carry.
#include "import/sql_text.h"
#include "support/test_util.h"

TEST(SqlText, RegionalNumber)
{
    // At most 15 significant digits, "." as decimal point, no exponent, grouping or trailing zeros.
    const struct {
        double value;
        const char* text;
    } numbers[] = {{18, "18"}, {17.5, "17.5"}, {100 * 0.07, "7"}, {110.00000000000001, "110"}, {0.04, "0.04"},
                   {-2.5, "-2.5"}, {-0.0, "0"}, {0.0000001, "0.0000001"}, {1e20, "100000000000000000000"},
                   {123456789012345678.0, "123456789012346000"}, {1.0 / 3, "0.333333333333333"}};
    for (const auto& n : numbers)
        EXPECT_EQ(sql::regionalNumber(n.value), n.text) << n.text;
}

TEST(SqlText, NumericTestAndDecimals)
{
    for (const char* yes : {"0", " 12 ", "-5", "+5", "12,5", "1.234,56", "123.456.789", ",5"})
        EXPECT_TRUE(sql::isNumeric(yes)) << yes;
    for (const char* no : {"", "   ", "-", "12a", "1,2,3", "1,2.3", "___.___.___-__", "123.456.789-09"})
        EXPECT_FALSE(sql::isNumeric(no)) << no;

    EXPECT_EQ(sql::parseDecimal("150.90"), 150.9);
    EXPECT_EQ(sql::parseDecimal(" 150,90 "), 150.9);
    EXPECT_EQ(sql::parseDecimal("-0,5"), -0.5);
    for (const char* no : {"", "1.234,56", "1,2,3", "abc", "1e5", ".", "inf"})
        EXPECT_FALSE(sql::parseDecimal(no).has_value()) << no;
}
