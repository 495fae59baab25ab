// Runs the caller that knows only tpdf.h and reads its file with tools nobody here wrote.
#include "pdf_fixtures.h"

using namespace tpdf_test;

namespace {

TEST(IndependentCaller, EveryCallIsRefusedOrWrittenSoundly) {
    ScratchDir dir;
    const std::string pdf = dir.file("caller.pdf");
    std::string out;
    ASSERT_EQ(run(std::string(TPDF_INDEPENDENT_CALLER) + " " + pdf + " 2>&1", &out), 0) << out;
    if (!haveTool("qpdf") || !haveTool("pdftoppm") || !haveTool("pdftotext")) GTEST_SKIP() << "no PDF tools";
    EXPECT_EQ(run("qpdf --check " + pdf + " 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(run("pdftoppm -r 36 -png " + pdf + " " + dir.file("page") + " 2>&1", &out), 0) << out;
    EXPECT_EQ(out, "") << "pdftoppm reads it without a warning";
    EXPECT_EQ(run("pdftotext -layout " + pdf + " - 2>&1", &out), 0) << out;
    for (const char* line : {"Independent caller: first line", "Second line after refusals",
                             "Third line in Times", "Page two"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(out.find("never shown"), std::string::npos);
}

} // namespace
