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

bool isBalancedSyntax(const char* text) {
    if (!text) return false;
    std::string open; // '[' or '<' (a dictionary), innermost last
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        if (c == '(') {
            int depth = 1;
            for (++p; *p && depth > 0; ++p) {
                if (*p == '\\' && p[1]) ++p;
                else if (*p == '(') ++depth;
                else if (*p == ')') --depth;
            }
            if (depth > 0) return false;
            --p;
        } else if (c == '[') {
            open += '[';
        } else if (c == ']') {
            if (open.empty() || open.back() != '[') return false;
            open.pop_back();
        } else if (c == '<' && p[1] == '<') {
            open += '<';
            ++p;
        } else if (c == '>' && p[1] == '>') {
            if (open.empty() || open.back() != '<') return false;
            open.pop_back();
            ++p;
        } else if (c == '<') {
            while (*++p && *p != '>')
                if (!std::isxdigit(static_cast<unsigned char>(*p)) && !std::isspace(static_cast<unsigned char>(*p))) return false;
            if (!*p) return false;
        } else if (c == ')' || c == '>' || c == '%' || c == '{' || c == '}') {
            return false;
        } else if (std::strncmp(p, "obj", 3) == 0 || std::strncmp(p, "stream", 6) == 0 ||
                   std::strncmp(p, "trailer", 7) == 0) {
            return false;
        }
    }
    return open.empty();
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
