#include "platform/exception.h"
#include "platform/int_conversion.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

struct Case
{
    const char* text;
    bool valid;
    int32_t value;
};

TEST(IntConversionTest, AcceptsTheStandardSyntaxOnly)
{
    const Case cases[] = {
        {"12", true, 12},
        {" 12", true, 12},
        {"   -7", true, -7},
        {"+40", true, 40},
        {"0", true, 0},
        {"$1E", true, 30},
        {"x1e", true, 30},
        {"X1E", true, 30},
        {"0x1E", true, 30},
        {"0X3c", true, 60},
        {"-$10", true, -16},
        {"007", true, 7},
        {"2147483647", true, std::numeric_limits<int32_t>::max()},
        {"-2147483648", true, std::numeric_limits<int32_t>::min()},
        {"$7FFFFFFF", true, std::numeric_limits<int32_t>::max()},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"$80000000", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"12 ", false, 0},
        {"1 2", false, 0},
        {"\t12", false, 0},
        {"45s", false, 0},
        {"abc", false, 0},
        {"-", false, 0},
        {"+-1", false, 0},
        {"0x", false, 0},
        {"$", false, 0},
        {"0xG", false, 0},
        {"1.5", false, 0},
        {"1e3", false, 0},
    };
    for (const Case& c : cases) {
        int32_t value = -999;
        EXPECT_EQ(TryStrToInt(c.text, value), c.valid) << '"' << c.text << '"';
        if (c.valid) {
            EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        }
    }
}

TEST(IntConversionTest, WideParsingReachesBeyondThirtyTwoBits)
{
    int64_t value = 0;
    ASSERT_TRUE(TryParseInteger("4294967295", value));
    EXPECT_EQ(value, 4294967295LL);
    ASSERT_TRUE(TryParseInteger("-9223372036854775808", value));
    EXPECT_EQ(value, std::numeric_limits<int64_t>::min());
    EXPECT_FALSE(TryParseInteger("9223372036854775808", value));
}

TEST(IntConversionTest, FailureCarriesTheTextInTheMessage)
{
    try {
        StrToInt("abc");
        FAIL() << "no exception";
    } catch (const EConversionError& error) {
        EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef("", 20), 20);
    EXPECT_EQ(StrToIntDef("0x10", 20), 16);
}

} // namespace
