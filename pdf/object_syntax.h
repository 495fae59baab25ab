// Checks texts that callers hand in as pieces of PDF object syntax.
#pragma once

namespace tpdf {

enum class ObjectSyntax {
    Border,         // one array of three numbers and a dash array: "[0 0 1]", "[0 0 1 [3 2]]"
    BorderStyle,    // the entries of a border style dictionary: "/W 2 /S /D /D [3 2]"
    Action,         // the entries of an action dictionary: "/S /Named /N /NextPage"
    Destination,    // a destination after its page: "/XYZ 0 792 1", "/Fit", "/FitR 0 0 9 9"
    DashPattern,    // a line dash array and phase: "[2 3] 0", "[] 0"
};

// True when text, written where the writer puts it, makes an object a reader takes as that
// object: every token a number within readers' limits (integers in 32 bits, reals within about
// +-3.4e38), a name without a NUL (#00), a string, a keyword (true, false, null) or a
// reference; arrays and dictionaries closed; each dictionary key a name with a value, and
// given once. A border holds its three numbers and perhaps a dash array (numbers not negative,
// not all zero); a border style's width, style (S, D, B, I or U) and dash array are of those
// kinds; a line dash pattern is such a dash array (or [] for a solid line) and a phase. An
// action names a type that readers follow (/S) and holds the entries that type needs, each of
// its kind (a go-to action's /D a destination, a URI action's /URI a string, a named action's
// /N a name); its /Next, if any, is an action or an array of actions held in the text itself.
// A destination is a known type with the values that type takes. Comments and other keywords
// are refused.
bool isObjectSyntax(const char* text, ObjectSyntax expected);

} // namespace tpdf
