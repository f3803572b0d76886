// The token reader's lexical rules and number conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/token_reader.h"

namespace {

std::vector<std::string> AllTokens(std::string_view text)
{
    CTokenReader reader(text);
    std::vector<std::string> out;
    while (reader.Next())
        out.emplace_back(reader.Token());
    return out;
}

TEST(TokenReader, SplitsOnlyOnTheFourWhiteSpaceBytes)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(AllTokens("a b\tc\r\nd\ne"), (V{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(AllTokens("  \r\n\t "), V{});
    EXPECT_EQ(AllTokens(""), V{});
    // Form feed, vertical tab and bytes above 0x7F belong to tokens.
    EXPECT_EQ(AllTokens("a\fb c\vd \xE9x"), (V{"a\fb", "c\vd", "\xE9x"}));
    // Braces are tokens only when white space surrounds them.
    EXPECT_EQ(AllTokens("bones{ } {x"), (V{"bones{", "}", "{x"}));
}

TEST(TokenReader, NullBufferHasNoTokens)
{
    CTokenReader reader(nullptr, 10);
    EXPECT_FALSE(reader.Next());
}

TEST(TokenReader, TokenLengthLimitIs255)
{
    const std::string ok(255, 'x');
    const std::string tooLong(256, 'y');
    const std::string okText = ok + " next";
    CTokenReader reader(okText);
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Token().size(), 255u);
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Token(), "next");

    const std::string longText = "a " + tooLong + " b";
    CTokenReader longReader(longText);
    ASSERT_TRUE(longReader.Next());
    EXPECT_FALSE(longReader.Next());
    // A 255-character token that ends the buffer is fine too.
    CTokenReader atEnd(ok);
    EXPECT_TRUE(atEnd.Next());
    EXPECT_FALSE(atEnd.Next());
}

TEST(TokenReader, KeywordsCompareIgnoringCase)
{
    CTokenReader reader(std::string_view("BoNeS"));
    ASSERT_TRUE(reader.Next());
    EXPECT_TRUE(reader.TokenIs("bones"));
    EXPECT_FALSE(reader.TokenIs("bone"));
    EXPECT_FALSE(reader.TokenIs("bonesx"));
}

TEST(NumberConversion, FloatsTakeTheLongestDecimalPrefix)
{
    EXPECT_FLOAT_EQ(ParseFloatPrefix("1.5e2"), 150.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("-2.25E-1"), -0.225f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("+3"), 3.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix(".5"), 0.5f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("7."), 7.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("12abc"), 12.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("4e"), 4.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("4e+"), 4.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("-19775"), -19775.0f);
    EXPECT_FLOAT_EQ(ParseFloatPrefix("0.000001"), 1e-6f);
}

TEST(NumberConversion, NonNumbersReadAsZero)
{
    for (const char* text : {"abc", "", "-", "+", ".", "-.e5", "inf", "nan", "+-5", "e5"})
        EXPECT_EQ(ParseFloatPrefix(text), 0.0f) << text;
    EXPECT_EQ(ParseFloatPrefix("0x10"), 0.0f);  // decimal only
    for (const char* text : {"abc", "", "-", "+-5", " 5"})
        EXPECT_EQ(ParseIntPrefix(text), 0) << text;
}

TEST(NumberConversion, OutOfRangeValuesSaturate)
{
    EXPECT_EQ(ParseFloatPrefix("1e39"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloatPrefix("-1e999"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloatPrefix("1e-999"), 0.0f);
    EXPECT_EQ(ParseFloatPrefix(std::string(400, '9')), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseIntPrefix("2147483647"), 2147483647);
    EXPECT_EQ(ParseIntPrefix("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ParseIntPrefix("2147483648"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ParseIntPrefix("-99999999999999999999999"), std::numeric_limits<int32_t>::min());
}

TEST(NumberConversion, IntegersStopAtTheFirstNonDigit)
{
    EXPECT_EQ(ParseIntPrefix("-7"), -7);
    EXPECT_EQ(ParseIntPrefix("+12"), 12);
    EXPECT_EQ(ParseIntPrefix("3.9"), 3);
    EXPECT_EQ(ParseIntPrefix("17x"), 17);
    EXPECT_EQ(ParseIntPrefix("1e3"), 1);
}

TEST(SectionGrammar, RecordsEndAtCloseBraceAndFailAtEnd)
{
    CTokenReader reader(std::string_view("{ 1 2 } x"));
    ASSERT_TRUE(tokens::OpenSection(reader));
    EXPECT_EQ(tokens::NextRecord(reader), tokens::Record::Start);
    int32_t v = 0;
    ASSERT_TRUE(tokens::ReadInt(reader, v));
    EXPECT_EQ(v, 2);
    EXPECT_EQ(tokens::NextRecord(reader), tokens::Record::End);
    EXPECT_EQ(tokens::NextRecord(reader), tokens::Record::Start);
    EXPECT_EQ(tokens::NextRecord(reader), tokens::Record::Fail);

    CTokenReader noBrace(std::string_view("x {"));
    EXPECT_FALSE(tokens::OpenSection(noBrace));
}

}  // namespace
