// Command-line classification and window-handle arguments.
#include <gtest/gtest.h>

#include "app/run_mode.h"

TEST(ParseRunMode, LettersDecideInTheirFixedOrder)
{
    EXPECT_EQ(ParseRunMode(nullptr), RunMode::None);
    EXPECT_EQ(ParseRunMode(""), RunMode::None);
    EXPECT_EQ(ParseRunMode("/x"), RunMode::None);
    for (const char* s : {"/S", "-s", "s", "/s"})
        EXPECT_EQ(ParseRunMode(s), RunMode::Saver) << s;
    EXPECT_EQ(ParseRunMode("/c:4711"), RunMode::Configure);
    EXPECT_EQ(ParseRunMode("/C"), RunMode::Configure);
    EXPECT_EQ(ParseRunMode("/p"), RunMode::Preview);
    EXPECT_EQ(ParseRunMode("/a"), RunMode::ChangePassword);
    EXPECT_EQ(ParseRunMode("/T"), RunMode::Test);
    // Order, not position: t before s, c before s, a before p.
    EXPECT_EQ(ParseRunMode("/ts"), RunMode::Test);
    EXPECT_EQ(ParseRunMode("/st"), RunMode::Test);
    EXPECT_EQ(ParseRunMode("/sc"), RunMode::Configure);
    EXPECT_EQ(ParseRunMode("pa"), RunMode::ChangePassword);
}

TEST(ParseWindowHandle, DecimalWithBlanksSignAndTrailingText)
{
    EXPECT_EQ(ParseWindowHandle("4711"), 4711);
    EXPECT_EQ(ParseWindowHandle("  4711xyz"), 4711);
    EXPECT_EQ(ParseWindowHandle("-12"), -12);
    EXPECT_EQ(ParseWindowHandle("abc"), 0);
    EXPECT_EQ(ParseWindowHandle(nullptr), 0);
    EXPECT_EQ(ParseWindowHandle(""), 0);
}

TEST(ParseWindowHandle, HexadecimalX11IdsAndHugeInputStayInRange)
{
    EXPECT_EQ(ParseWindowHandle("0x1a00003"), 0x1a00003);
    EXPECT_EQ(ParseWindowHandle("0X1A"), 0x1a);
    EXPECT_EQ(ParseWindowHandle("0x"), 0);
    // Digits beyond what a handle can hold are not read, and nothing overflows.
    EXPECT_GT(ParseWindowHandle("99999999999999999999999999"), 0);
    EXPECT_NE(ParseWindowHandle("0xffffffffffffffffffff"), 0);
}
