#include "object_syntax.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

namespace tpdf {

namespace {

// Deeper nesting than any border or action needs, and a bound for the recursion.
constexpr int kMaxDepth = 32;

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isDelimiter(char c) { return c != '\0' && std::strchr("()<>[]{}/%", c) != nullptr; }
bool isRegular(char c) { return c != '\0' && !isWhite(c) && !isDelimiter(c); }
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
public:
    explicit Reader(const char* text) : p_(text) {}

    bool atEnd() {
        skipWhite();
        return *p_ == '\0';
    }
    bool take(char c) {
        skipWhite();
        if (*p_ != c) return false;
        ++p_;
        return true;
    }
    bool object(int depth);
    bool name();
    bool arrayRest(int depth);
    bool dictionaryRest(int depth, bool closed);

private:
    void skipWhite() {
        while (isWhite(*p_)) ++p_;
    }
    bool literalString();
    bool hexString();
    bool numberOrReference();
    bool keyword();
    static bool isNumber(const char* begin, const char* end, bool* isUnsignedInteger);

    const char* p_;
};

bool Reader::object(int depth) {
    if (depth > kMaxDepth) return false;
    skipWhite();
    const char c = *p_;
    if (c == '(') return literalString();
    if (c == '<' && p_[1] == '<') {
        p_ += 2;
        return dictionaryRest(depth + 1, true);
    }
    if (c == '<') return hexString();
    if (c == '[') {
        ++p_;
        return arrayRest(depth + 1);
    }
    if (c == '/') return name();
    if (isDigit(c) || c == '+' || c == '-' || c == '.') return numberOrReference();
    if (isRegular(c)) return keyword();
    return false;
}

bool Reader::name() {
    if (!take('/')) return false;
    for (; isRegular(*p_); ++p_)
        if (*p_ == '#') {
            if (!isHex(p_[1]) || !isHex(p_[2])) return false;
            p_ += 2;
        }
    return true;
}

bool Reader::arrayRest(int depth) {
    while (!take(']'))
        if (atEnd() || !object(depth)) return false;
    return true;
}

// After "<<" when closed; a body without the brackets otherwise.
bool Reader::dictionaryRest(int depth, bool closed) {
    for (;;) {
        skipWhite();
        if (closed && p_[0] == '>' && p_[1] == '>') {
            p_ += 2;
            return true;
        }
        if (!closed && *p_ == '\0') return true;
        if (*p_ != '/' || !name() || !object(depth)) return false;
    }
}

bool Reader::literalString() {
    int depth = 0;
    for (; *p_; ++p_) {
        if (*p_ == '\\') {
            if (!*++p_) return false;
        } else if (*p_ == '(') {
            ++depth;
        } else if (*p_ == ')' && --depth == 0) {
            ++p_;
            return true;
        }
    }
    return false;
}

bool Reader::hexString() {
    for (++p_; *p_ && *p_ != '>'; ++p_)
        if (!isHex(*p_) && !isWhite(*p_)) return false;
    if (*p_ != '>') return false;
    ++p_;
    return true;
}

bool Reader::isNumber(const char* begin, const char* end, bool* isUnsignedInteger) {
    const char* p = begin;
    const bool sign = p < end && (*p == '+' || *p == '-');
    if (sign) ++p;
    int digits = 0, points = 0;
    for (; p < end; ++p) {
        if (isDigit(*p)) ++digits;
        else if (*p == '.' && ++points == 1) continue;
        else return false;
    }
    *isUnsignedInteger = !sign && points == 0;
    return digits > 0;
}

// A number, or "object generation R" when two unsigned integers are followed by R.
bool Reader::numberOrReference() {
    const char* begin = p_;
    while (isRegular(*p_)) ++p_;
    bool integer = false;
    if (!isNumber(begin, p_, &integer)) return false;
    if (!integer) return true;
    const char* after = p_;
    skipWhite();
    const char* second = p_;
    while (isDigit(*p_)) ++p_;
    if (p_ > second && !isRegular(*p_)) {
        skipWhite();
        if (*p_ == 'R' && !isRegular(p_[1])) {
            ++p_;
            return true;
        }
    }
    p_ = after;
    return true;
}

bool Reader::keyword() {
    const char* begin = p_;
    while (isRegular(*p_)) ++p_;
    const auto n = static_cast<std::size_t>(p_ - begin);
    for (const char* word : {"true", "false", "null"})
        if (n == std::strlen(word) && std::strncmp(begin, word, n) == 0) return true;
    return false;
}

} // namespace

bool isObjectSyntax(const char* text, ObjectSyntax expected) {
    if (!text) return false;
    Reader r(text);
    switch (expected) {
    case ObjectSyntax::Array: return r.take('[') && r.arrayRest(1) && r.atEnd();
    case ObjectSyntax::DictionaryBody: return r.dictionaryRest(1, false);
    case ObjectSyntax::ArrayBody:
        while (!r.atEnd())
            if (!r.object(1)) return false;
        return true;
    }
    return false;
}

} // namespace tpdf
