#include "object_syntax.h"

#include "c_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace tpdf {

namespace {

// Deeper nesting than any border or action needs, and a bound for the recursion.
constexpr int kMaxDepth = 32;

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isDelimiter(char c) { return c != '\0' && std::strchr("()<>[]{}/%", c) != nullptr; }
bool isRegular(char c) { return c != '\0' && !isWhite(c) && !isDelimiter(c); }
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    return isDigit(c) ? c - '0' : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// One entry of a dictionary: its key (decoded) and where its value stands in the text.
struct Entry {
    std::string key;
    const char* begin;
    const char* end;
};

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
    bool name(std::string* decoded = nullptr);
    bool arrayRest(int depth);
    bool dictionaryRest(int depth, bool closed, std::vector<Entry>* entries = nullptr);
    // A number (or null when allowed): one value of a destination.
    bool destinationValue(bool nullAllowed);
    bool number(double* value);
    bool nonNegativeInteger();
    bool reference();
    const char* rest() {
        skipWhite();
        return p_;
    }

private:
    void skipWhite() {
        while (isWhite(*p_)) ++p_;
    }
    bool literalString();
    bool hexString();
    bool numberOrReference();
    bool keyword(const char* only = nullptr);
    bool integerToken(double* value);

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

// A name, decoded; "#00" would end it early in every reader.
bool Reader::name(std::string* decoded) {
    if (!take('/')) return false;
    std::string out;
    for (; isRegular(*p_); ++p_) {
        char c = *p_;
        if (c == '#') {
            if (!isHex(p_[1]) || !isHex(p_[2])) return false;
            c = static_cast<char>(hexValue(p_[1]) * 16 + hexValue(p_[2]));
            if (c == '\0') return false;
            p_ += 2;
        }
        out += c;
    }
    if (decoded) *decoded = out;
    return true;
}

bool Reader::arrayRest(int depth) {
    while (!take(']'))
        if (atEnd() || !object(depth)) return false;
    return true;
}

// After "<<" when closed; a body without the brackets otherwise. A key given twice is refused:
// readers differ on which value counts.
bool Reader::dictionaryRest(int depth, bool closed, std::vector<Entry>* entries) {
    std::vector<Entry> own;
    std::vector<Entry>& seen = entries ? *entries : own;
    for (;;) {
        skipWhite();
        if (closed && p_[0] == '>' && p_[1] == '>') {
            p_ += 2;
            return true;
        }
        if (!closed && *p_ == '\0') return true;
        std::string key;
        if (*p_ != '/' || !name(&key)) return false;
        if (std::any_of(seen.begin(), seen.end(), [&](const Entry& e) { return e.key == key; }))
            return false;
        skipWhite();
        const char* begin = p_;
        if (!object(depth)) return false;
        seen.push_back({key, begin, p_});
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

// An unsigned integer token within readers' limits; the position is kept when it is not one.
bool Reader::integerToken(double* value) {
    skipWhite();
    const char* begin = p_;
    const char* end = p_;
    while (isDigit(*end)) ++end;
    bool integer = false;
    if (end == begin || isRegular(*end) || !readNumberToken(begin, end, value, &integer))
        return false;
    p_ = end;
    return true;
}

// A number, or "object generation R" when two unsigned integers are followed by R.
bool Reader::numberOrReference() {
    const char* begin = p_;
    while (isRegular(*p_)) ++p_;
    bool integer = false;
    double value = 0;
    if (!readNumberToken(begin, p_, &value, &integer)) return false;
    if (!integer || *begin == '+' || *begin == '-') return true;
    const char* after = p_;
    double generation = 0;
    if (integerToken(&generation)) {
        skipWhite();
        if (*p_ == 'R' && !isRegular(p_[1])) {
            ++p_;
            return true;
        }
    }
    p_ = after;
    return true;
}

bool Reader::reference() {
    double number = 0, generation = 0;
    if (!integerToken(&number) || number < 1 || !integerToken(&generation)) return false;
    skipWhite();
    if (*p_ != 'R' || isRegular(p_[1])) return false;
    ++p_;
    return true;
}

bool Reader::nonNegativeInteger() {
    double value = 0;
    return integerToken(&value);
}

bool Reader::keyword(const char* only) {
    skipWhite();
    const char* begin = p_;
    while (isRegular(*p_)) ++p_;
    const auto n = static_cast<std::size_t>(p_ - begin);
    for (const char* word : {"true", "false", "null"})
        if ((!only || std::strcmp(only, word) == 0) && n == std::strlen(word) &&
            std::strncmp(begin, word, n) == 0)
            return true;
    p_ = begin;
    return false;
}

bool Reader::number(double* value) {
    skipWhite();
    const char* begin = p_;
    while (isRegular(*p_)) ++p_;
    if (readNumberToken(begin, p_, value, nullptr)) return true;
    p_ = begin;
    return false;
}

bool Reader::destinationValue(bool nullAllowed) {
    skipWhite();
    if (*p_ == 'n') return nullAllowed && keyword("null");
    return number(nullptr);
}

// The values each destination type takes after its name: how many, and whether null may stand
// for one (keep the current value).
struct DestinationType {
    const char* name;
    int values;
    bool nullAllowed;
};
constexpr DestinationType kDestinationTypes[] = {
    {"XYZ", 3, true},   {"Fit", 0, false},   {"FitH", 1, true},  {"FitV", 1, true},
    {"FitR", 4, false}, {"FitB", 0, false},  {"FitBH", 1, true}, {"FitBV", 1, true},
};

// A destination type and its values, up to the end of the text or a closing bracket.
bool destinationRest(Reader& r) {
    std::string type;
    if (!r.name(&type)) return false;
    for (const DestinationType& t : kDestinationTypes) {
        if (type != t.name) continue;
        for (int i = 0; i < t.values; ++i)
            if (!r.destinationValue(t.nullAllowed)) return false;
        return true;
    }
    return false;
}

bool isDestination(const char* text) {
    Reader r(text);
    return destinationRest(r) && r.atEnd();
}

// The /D of a go-to action: a named destination (a name or a string), or an array of the page
// (a reference to a page object here, a page number in another file) and a destination.
bool isActionDestination(const Entry& d, bool remote) {
    const std::string value(d.begin, d.end);
    if (value[0] == '/' || value[0] == '(' || (value[0] == '<' && value[1] != '<')) return true;
    Reader r(value.c_str());
    if (!r.take('[')) return false;
    if (!(remote ? r.nonNegativeInteger() : r.reference())) return false;
    return destinationRest(r) && r.take(']') && r.atEnd();
}

// A dash array "[3 2]": numbers that are not negative, not all zero; r stands after its "[".
bool dashRest(Reader& r) {
    bool drawn = false;
    int count = 0;
    for (; !r.take(']'); ++count) {
        double v = 0;
        if (!r.number(&v) || v < 0) return false;
        drawn |= v > 0;
    }
    return count > 0 && drawn;
}

// "[dash array] phase": a solid line's array is empty.
bool isDashPattern(const char* text) {
    Reader r(text);
    if (!r.take('[')) return false;
    Reader empty = r;
    if (!empty.take(']')) {
        if (!dashRest(r)) return false;
    } else {
        r = empty;
    }
    double phase = 0;
    return r.number(&phase) && phase >= 0 && r.atEnd();
}

// "[horizontal-radius vertical-radius width]" with an optional dash array after the width.
bool isBorder(const char* text) {
    Reader r(text);
    if (!r.take('[')) return false;
    for (int i = 0; i < 3; ++i) {
        double v = 0;
        if (!r.number(&v) || v < 0) return false;
    }
    if (r.take('[') && !dashRest(r)) return false;
    return r.take(']') && r.atEnd();
}

// The entries of a border style: a width, one of the five styles, a dash array; other entries
// only as well-formed objects.
bool isBorderStyle(const char* text) {
    Reader r(text);
    std::vector<Entry> entries;
    if (!r.dictionaryRest(1, false, &entries)) return false;
    for (const Entry& e : entries) {
        const std::string value(e.begin, e.end);
        Reader v(value.c_str());
        std::string name;
        double width = 0;
        if (e.key == "W" && (!v.number(&width) || width < 0)) return false;
        if (e.key == "S" && (!v.name(&name) || name.size() != 1 || !std::strchr("SDBIU", name[0])))
            return false;
        if (e.key == "D" && (!v.take('[') || !dashRest(v))) return false;
    }
    return true;
}

// What an entry of an action must hold for a reader to follow the action.
enum class Holds {
    Name,              // /NextPage
    Text,              // a string: (x) or <78>
    FileOrItsDictionary, // a file name string, or a dictionary that names the file
    Destination,       // a go-to action's /D: a named destination or [page-reference type ...]
    RemoteDestination, // the same with a page number in place of the reference
    TextOrTexts,       // a string, or an array of strings
    IndexOrText,       // an integer not negative, or a string
};

struct Requirement {
    const char* key;
    Holds holds;
};

// Each action type a reader follows, with the entries it needs. Types whose entries need
// objects of their own (a sound, a movie, optional content groups) cannot be given as text,
// and are refused with the unknown ones; so is a launch by /Win alone, which readers follow on
// one platform only.
struct ActionType {
    const char* name;
    Requirement required[2];
};
constexpr ActionType kActionTypes[] = {
    {"GoTo", {{"D", Holds::Destination}}},
    {"GoToR", {{"F", Holds::FileOrItsDictionary}, {"D", Holds::RemoteDestination}}},
    {"GoToE", {{"D", Holds::RemoteDestination}}},
    {"Launch", {{"F", Holds::FileOrItsDictionary}}},
    {"Thread", {{"D", Holds::IndexOrText}}},
    {"URI", {{"URI", Holds::Text}}},
    {"Named", {{"N", Holds::Name}}},
    {"JavaScript", {{"JS", Holds::Text}}},
    {"Hide", {{"T", Holds::TextOrTexts}}},
    {"SubmitForm", {{"F", Holds::FileOrItsDictionary}}},
    {"ResetForm", {}},
    {"ImportData", {{"F", Holds::FileOrItsDictionary}}},
};

// The entries of one dictionary, each value a well-formed object.
using Entries = std::vector<Entry>;

const Entry* findEntry(const Entries& entries, const char* key) {
    const auto e = std::find_if(entries.begin(), entries.end(), [&](const Entry& x) { return x.key == key; });
    return e == entries.end() ? nullptr : &*e;
}

bool isString(const char* value) { return value[0] == '(' || (value[0] == '<' && value[1] != '<'); }

// Every element of an array, by the first character of its value.
template <class Element> bool isArrayOf(const char* value, Element element) {
    Reader r(value);
    if (!r.take('[')) return false;
    while (!r.take(']')) {
        if (r.atEnd() || !element(r.rest()) || !r.object(1)) return false;
    }
    return r.atEnd();
}

bool isIndex(const char* value) {
    Reader r(value);
    return r.nonNegativeInteger() && r.atEnd();
}

bool holds(const Entry& e, Holds kind) {
    const std::string value(e.begin, e.end);
    const char* v = value.c_str();
    switch (kind) {
    case Holds::Name: return v[0] == '/';
    case Holds::Text: return isString(v);
    case Holds::FileOrItsDictionary: return isString(v) || std::strncmp(v, "<<", 2) == 0;
    case Holds::Destination: return isActionDestination(e, false);
    case Holds::RemoteDestination: return isActionDestination(e, true);
    case Holds::TextOrTexts: return isString(v) || isArrayOf(v, isString);
    case Holds::IndexOrText: return isString(v) || isIndex(v);
    }
    return false;
}

bool meets(const Entries& entries, const Requirement& r) {
    const Entry* e = findEntry(entries, r.key);
    return e && holds(*e, r.holds);
}

bool isActionDictionary(const char* value, int depth);

// /Next: one action, or an array of actions, held in the text itself; a reference would lead to
// an object the document does not hold as an action.
bool isNextAction(const Entry& next, int depth) {
    const std::string value(next.begin, next.end);
    if (value[0] == '[')
        return isArrayOf(value.c_str(), [depth](const char* element) {
            return isActionDictionary(element, depth + 1);
        });
    return isActionDictionary(value.c_str(), depth + 1);
}

bool isActionEntries(const Entries& entries, int depth) {
    const Entry* s = findEntry(entries, "S");
    if (!s || *s->begin != '/') return false;
    const std::string typeText(s->begin, s->end);
    std::string type;
    Reader(typeText.c_str()).name(&type);
    const auto* t = std::find_if(std::begin(kActionTypes), std::end(kActionTypes),
                                 [&](const ActionType& a) { return type == a.name; });
    if (t == std::end(kActionTypes)) return false;
    for (const Requirement& r : t->required)
        if (r.key && !meets(entries, r)) return false;
    const Entry* next = findEntry(entries, "Next");
    return !next || isNextAction(*next, depth);
}

// "<< ... >>" (an element of /Next), as the start of value; the rest of value is not looked at.
bool isActionDictionary(const char* value, int depth) {
    if (depth > kMaxDepth || std::strncmp(value, "<<", 2) != 0) return false;
    Reader r(value + 2);
    Entries entries;
    return r.dictionaryRest(depth, true, &entries) && isActionEntries(entries, depth);
}

bool isAction(const char* text) {
    Reader r(text);
    Entries entries;
    return r.dictionaryRest(1, false, &entries) && isActionEntries(entries, 1);
}

} // namespace

bool isObjectSyntax(const char* text, ObjectSyntax expected) {
    if (!text) return false;
    Reader r(text);
    switch (expected) {
    case ObjectSyntax::Border: return r.take('[') && r.arrayRest(1) && r.atEnd() && isBorder(text);
    case ObjectSyntax::BorderStyle: return isBorderStyle(text);
    case ObjectSyntax::Action: return isAction(text);
    case ObjectSyntax::Destination: return isDestination(text);
    case ObjectSyntax::DashPattern: return isDashPattern(text);
    }
    return false;
}

} // namespace tpdf
