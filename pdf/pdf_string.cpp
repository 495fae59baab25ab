#include "pdf_string.h"

#include "errors.h"
#include "tpdf.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tpdf {

std::string escapeText(const char* bytes, std::size_t length) {
    std::string out;
    out.reserve(length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = bytes[i];
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeText(const char* text) {
    return text ? escapeText(text, std::strlen(text)) : std::string();
}

std::string hexTextBytes(const char* hex) {
    std::string out;
    int high = -1;
    for (const char* p = hex; p && *p; ++p) {
        const int v = tpdf_hexDigit(*p);
        if (v == 255) continue;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    return out;
}

std::string escapeNoteText(const char* bytes, std::size_t length) {
    std::string out;
    out.reserve(length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = bytes[i];
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            out += "\\r\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string pdfName(const char* name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); p && *p; ++p) {
        if (*p < 33 || *p > 126 || std::strchr("()<>[]{}/%#", *p)) {
            out += '#';
            out += digits[*p >> 4];
            out += digits[*p & 15];
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out;
}

} // namespace tpdf

extern "C" {

char* tpdf_escapeString(const char* text) {
    if (!text) return nullptr;
    try {
        return tpdf::duplicateText(tpdf::escapeText(text).c_str());
    } catch (const std::bad_alloc&) {
        tpdf::reportNoMemory();
        return nullptr;
    }
}

unsigned char* tpdf_escapeBytes(const unsigned char* bytes, int length, int* outLength) {
    if (outLength) *outLength = 0;
    if (!bytes || length < 0) return nullptr;
    try {
        const std::string escaped =
            tpdf::escapeText(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        if (escaped.size() > INT_MAX) return nullptr;
        auto* out = static_cast<unsigned char*>(std::malloc(escaped.size() + 1));
        if (!out) {
            tpdf::reportNoMemory();
            return nullptr;
        }
        std::memcpy(out, escaped.data(), escaped.size());
        out[escaped.size()] = 0;
        if (outLength) *outLength = static_cast<int>(escaped.size());
        return out;
    } catch (const std::bad_alloc&) {
        tpdf::reportNoMemory();
        return nullptr;
    }
}

} // extern "C"
