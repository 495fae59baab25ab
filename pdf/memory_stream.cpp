#include "memory_stream.h"

#include "errors.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace tpdf {

std::int64_t grownSize(std::int64_t current, std::int64_t needed) {
    std::int64_t size = current < 1 ? 1 : current;
    while (size < needed) size = size < 0x10000 ? size * 2 : size + 0x10000;
    return size > INT_MAX ? -1 : size;
}

// A caller may fill the record by hand: its count must lie within its buffer, with room for the
// final NUL, or a write would land outside it.
bool streamRecordSound(const PdfMemStream* s) {
    return s && s->magic == TPDF_MEMSTREAM_MAGIC && s->buffer && s->count >= 0 &&
           s->count < s->bufSize;
}

bool streamIsSound(PdfMemStream* s) {
    if (!s) return false;
    if (streamRecordSound(s)) return true;
    const auto address = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(s));
    tpdf_GlobalError(3, kModule, "Corrupted memory stream: 0x%lx (%lu)", address, address);
    return false;
}

unsigned char* reserveStream(PdfMemStream* s, int extra) {
    if (!streamIsSound(s) || extra < 0) return nullptr;
    const std::int64_t needed = std::int64_t{s->count} + extra + 1;
    if (needed > s->bufSize) {
        const std::int64_t size = grownSize(s->bufSize, needed);
        void* grown = size < 0 ? nullptr : std::realloc(s->buffer, static_cast<std::size_t>(size));
        if (!grown) {
            reportNoMemory();
            return nullptr;
        }
        s->buffer = static_cast<unsigned char*>(grown);
        s->bufSize = static_cast<int>(size);
    }
    return s->buffer + s->count;
}

void commitStream(PdfMemStream* s, int filled) {
    s->count += filled;
    s->buffer[s->count] = 0;
}

} // namespace tpdf

using namespace tpdf;

extern "C" {

PdfMemStream* tpdf_openMemoryStream(void) {
    auto* s = static_cast<PdfMemStream*>(std::malloc(sizeof(PdfMemStream)));
    auto* buffer = static_cast<unsigned char*>(std::malloc(kInitialStreamSize));
    if (!s || !buffer) {
        std::free(s);
        std::free(buffer);
        reportNoMemory();
        return nullptr;
    }
    buffer[0] = 0;
    *s = PdfMemStream{TPDF_MEMSTREAM_MAGIC, buffer, 0, kInitialStreamSize};
    return s;
}

int tpdf_writeToMemoryStream(PdfMemStream* s, const void* bytes, int length) {
    if (length < 0 || (length > 0 && !bytes)) return -1;
    unsigned char* place = reserveStream(s, length);
    if (!place) return -1;
    if (length) std::memcpy(place, bytes, static_cast<std::size_t>(length));
    commitStream(s, length);
    return 0;
}

int tpdf_memPutc(int c, PdfMemStream* s) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return tpdf_writeToMemoryStream(s, &byte, 1) == 0 ? 1 : -1;
}

int tpdf_memPuts(const char* text, PdfMemStream* s) {
    if (!text) return -1;
    const std::size_t n = std::strlen(text);
    if (n > INT_MAX) return -1;
    return tpdf_writeToMemoryStream(s, text, static_cast<int>(n)) == 0 ? static_cast<int>(n) : -1;
}

void tpdf_getMemoryBuffer(PdfMemStream* s, unsigned char** buffer, int* count, int* bufSize) {
    const bool sound = streamIsSound(s);
    if (buffer) *buffer = sound ? s->buffer : nullptr;
    if (count) *count = sound ? s->count : 0;
    if (bufSize) *bufSize = sound ? s->bufSize : 0;
}

void tpdf_clearMemoryStream(PdfMemStream* s) {
    if (!streamIsSound(s)) return;
    s->count = 0;
    s->buffer[0] = 0;
}

void tpdf_closeMemoryStream(PdfMemStream* s) {
    if (!s) return;
    // A stream with a bad magic is not ours to free; one with a bad count still is.
    if (s->magic != TPDF_MEMSTREAM_MAGIC) {
        streamIsSound(s);
        return;
    }
    std::free(s->buffer);
    s->magic = 0;
    std::free(s);
}

int tpdf_saveMemoryStreamToFile(PdfMemStream* s, const char* fileName) {
    if (!streamIsSound(s) || !fileName) return -1;
    std::FILE* f = std::fopen(fileName, "wb");
    if (!f) {
        std::printf("Cannot open output file: %s\n", fileName);
        return -1;
    }
    const std::size_t n = static_cast<std::size_t>(s->count);
    const bool written = std::fwrite(s->buffer, 1, n, f) == n;
    const bool closed = std::fclose(f) == 0;
    if (written && closed) return 0;
    // A cut file would pass for a document; leave none behind (but never touch a device).
    struct stat st {};
    if (stat(fileName, &st) == 0 && S_ISREG(st.st_mode)) std::remove(fileName);
    tpdf_GlobalError(2, kModule, "Cannot write output file: %s", fileName);
    return -1;
}

int tpdf_checkMemoryStream(const char* module, PdfMemStream* s) {
    if (streamRecordSound(s)) return 0;
    const auto address = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(s));
    tpdf_GlobalError(3, module, "stream=%lu, magic= %lu, buffer= %lu, count= %d, bufSize=%d",
                     address, s ? static_cast<unsigned long>(s->magic) : 0UL,
                     s ? static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(s->buffer)) : 0UL,
                     s ? s->count : 0, s ? s->bufSize : 0);
    return -1;
}

} // extern "C"
