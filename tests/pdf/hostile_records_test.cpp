// Runs the caller that hands the library hostile texts, angles and hand-filled records through
// tpdf.h alone, and reads the files it wrote with tools nobody here wrote.
#include "pdf_fixtures.h"

using namespace tpdf_test;

namespace {

TEST(HostileRecords, EachIsRefusedWithAReportAndTheFilesStaySound) {
    ScratchDir dir;
    const std::string base = dir.file("hostile");
    std::string out;
    ASSERT_EQ(run(std::string(TPDF_HOSTILE_RECORDS_CALLER) + " " + base, &out), 0) << out;
    EXPECT_EQ(out, "") << "no word from the library's default handlers or the sanitizers";
    if (!havePdfTools()) GTEST_SKIP() << "no PDF tools";
    for (const char* name : {"with", "records", "file-mode"})
        EXPECT_EQ(pdfToolComplaints(base + "-" + name + ".pdf"), "") << name;
}

} // namespace
