// The error chain: how names stack up and how the report reads.
#include <gtest/gtest.h>

#include "base/error.h"

namespace {

class ErrorChain : public ::testing::Test {
protected:
    void SetUp() override { ResetError(); }
    void TearDown() override { ResetError(); }
};

TEST_F(ErrorChain, NamesStackFromOutermostToInnermost)
{
    EXPECT_THROW(InChain("CSaverApp::Run",
                         [] { InChain("CSaverApp::DoSaver", [] { RaiseError("Could not create main window"); }); }),
                 CError);
    EXPECT_EQ(g_ErrorChain, "CSaverApp::Run() -> CSaverApp::DoSaver()");
    EXPECT_EQ(g_ErrorText, "\"Could not create main window\"");
    EXPECT_EQ(FormatErrorReport(), "CSaverApp::Run() -> CSaverApp::DoSaver()\n\n\"Could not create main window\"");
}

TEST_F(ErrorChain, ForeignExceptionsPassThroughAndReportUnknownError)
{
    EXPECT_THROW(InChain("CSaverApp::Run",
                         [] { InChain("CSaverApp::LoadSettings", [] { throw std::bad_alloc(); }); }),
                 std::bad_alloc);
    EXPECT_EQ(FormatErrorReport(), "CSaverApp::Run() -> CSaverApp::LoadSettings()\n\n\"Unknown Error\"");
}

TEST_F(ErrorChain, SuccessLeavesNoTraceAndReturnsTheValue)
{
    EXPECT_EQ(InChain("X", [] { return 42; }), 42);
    EXPECT_TRUE(g_ErrorChain.empty());
    EXPECT_TRUE(g_ErrorText.empty());
}

TEST_F(ErrorChain, LaterTextReplacesEarlierOne)
{
    EXPECT_THROW(RaiseError("first"), CError);
    EXPECT_THROW(RaiseError("second"), CError);
    EXPECT_EQ(g_ErrorText, "\"second\"");
}

} // namespace

TEST_F(ErrorChain, TheFirstDetailIsAFurtherLineOfTheReport)
{
    NoteErrorDetail("textures/sky.png: not a PNG image");
    NoteErrorDetail("models/canyon.smd: not a usable canyon model");  // a consequence of the first
    EXPECT_THROW(InChain("CSaverApp::DoTest", [] { RaiseError("Could not init Rendering Engine"); }), CError);
    EXPECT_EQ(FormatErrorReport(),
              "CSaverApp::DoTest()\n\n\"Could not init Rendering Engine\"\ntextures/sky.png: not a PNG image");
    ResetError();
    EXPECT_EQ(ErrorDetail(), "");
}
