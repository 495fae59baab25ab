#include "pdf_fixtures.h"

#include <string>

using namespace tpdf_test;

namespace {

struct StreamCloser {
    void operator()(PdfMemStream* s) const { tpdf_closeMemoryStream(s); }
};
using Stream = std::unique_ptr<PdfMemStream, StreamCloser>;

TEST(MemoryStream, GrowsByDoublingThenIn64KiBSteps) {
    struct Case {
        int bytes;
        int bufSize;
    };
    const Case cases[] = {{0, 256}, {255, 256}, {256, 512}, {300, 512}, {65535, 65536},
                          {65536, 131072}, {131071, 131072}, {131072, 196608}};
    for (const Case& c : cases) {
        Stream s(tpdf_openMemoryStream());
        const std::string bytes(static_cast<std::size_t>(c.bytes), 'x');
        ASSERT_EQ(tpdf_writeToMemoryStream(s.get(), bytes.data(), c.bytes), 0);
        EXPECT_EQ(s->count, c.bytes);
        EXPECT_EQ(s->bufSize, c.bufSize) << c.bytes << " bytes";
        EXPECT_EQ(s->buffer[s->count], 0) << "the byte after the data";
    }
}

TEST(MemoryStream, OneMoreByteAfter65535MakesRoomFor131072) {
    Stream s(tpdf_openMemoryStream());
    const std::string bytes(65535, 'a');
    tpdf_writeToMemoryStream(s.get(), bytes.data(), 65535);
    EXPECT_EQ(s->bufSize, 65536);
    EXPECT_EQ(tpdf_memPutc('b', s.get()), 1);
    EXPECT_EQ(s->bufSize, 131072);
    EXPECT_EQ(s->buffer[65535], 'b');
    EXPECT_EQ(s->buffer[65536], 0);
}

TEST(MemoryStream, PutsClearAndBuffer) {
    Stream s(tpdf_openMemoryStream());
    EXPECT_EQ(tpdf_memPuts("hello ", s.get()), 6);
    EXPECT_EQ(tpdf_memPuts("world", s.get()), 5);
    unsigned char* buffer = nullptr;
    int count = 0, size = 0;
    tpdf_getMemoryBuffer(s.get(), &buffer, &count, &size);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "hello world");
    EXPECT_EQ(count, 11);
    tpdf_clearMemoryStream(s.get());
    EXPECT_EQ(s->count, 0);
    EXPECT_EQ(s->buffer[0], 0);
    EXPECT_EQ(s->bufSize, size) << "clearing keeps the buffer";
}

TEST(MemoryStream, RefusesBadInputAndCorruptStreams) {
    Stream s(tpdf_openMemoryStream());
    EXPECT_EQ(tpdf_writeToMemoryStream(s.get(), "x", -1), -1);
    EXPECT_EQ(tpdf_writeToMemoryStream(s.get(), nullptr, 3), -1);
    EXPECT_EQ(tpdf_writeToMemoryStream(nullptr, "x", 1), -1);

    ReportLog log;
    s->magic = 0x12345678;
    EXPECT_EQ(tpdf_writeToMemoryStream(s.get(), "x", 1), -1);
    EXPECT_TRUE(log.contains("3|TarvexPDF|Corrupted memory stream: 0x"));
    EXPECT_EQ(tpdf_checkMemoryStream("caller", s.get()), -1);
    EXPECT_TRUE(log.contains("3|caller|stream="));
    EXPECT_TRUE(log.contains("magic= 305419896"));
    s->magic = TPDF_MEMSTREAM_MAGIC;
    EXPECT_EQ(tpdf_checkMemoryStream("caller", s.get()), 0);
}

TEST(MemoryStream, SavesToFileAndReportsFailures) {
    ScratchDir dir;
    Stream s(tpdf_openMemoryStream());
    tpdf_memPuts("abc", s.get());
    ASSERT_EQ(tpdf_saveMemoryStreamToFile(s.get(), dir.file("out.bin").c_str()), 0);
    EXPECT_EQ(readText(dir.path() / "out.bin"), "abc");

    testing::internal::CaptureStdout();
    EXPECT_EQ(tpdf_saveMemoryStreamToFile(s.get(), dir.file("missing/out.bin").c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot open output file: " + dir.file("missing/out.bin") + "\n");
}

TEST(MemoryStream, AFullDiskIsAFailureAndLeavesNoFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Stream s(tpdf_openMemoryStream());
    const std::string bytes(100000, 'z');
    tpdf_writeToMemoryStream(s.get(), bytes.data(), 100000);
    EXPECT_EQ(tpdf_saveMemoryStreamToFile(s.get(), "/dev/full"), -1);
}

} // namespace
