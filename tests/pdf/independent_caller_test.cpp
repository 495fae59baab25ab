// Runs the caller that knows only tpdf.h and reads its file with tools nobody here wrote.
#include "pdf_fixtures.h"

using namespace tpdf_test;

namespace {

TEST(IndependentCaller, EveryCallIsRefusedOrWrittenSoundly) {
    ScratchDir dir;
    const std::string pdf = dir.file("caller.pdf");
    std::string out;
    ASSERT_EQ(run(std::string(TPDF_INDEPENDENT_CALLER) + " " + pdf + " 2>&1", &out), 0) << out;
    if (!havePdfTools() || !haveTool("pdftotext")) GTEST_SKIP() << "no PDF tools";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().extension() == ".pdf") files.push_back(entry.path());
    EXPECT_GT(files.size(), 1u) << "the caller's own file and those of its sequences";
    for (const auto& file : files) EXPECT_EQ(pdfToolComplaints(file.string()), "") << file;
    EXPECT_EQ(run("pdftotext -layout " + pdf + " - 2>&1", &out), 0) << out;
    for (const char* line : {"Independent caller: first line", "Second line after refusals",
                             "Third line in Times", "Page two"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(out.find("never shown"), std::string::npos);
}

} // namespace
