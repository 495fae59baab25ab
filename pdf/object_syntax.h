// Checks texts that callers hand in as pieces of PDF object syntax.
#pragma once

namespace tpdf {

enum class ObjectSyntax {
    Array,          // exactly one array: a border "[0 0 1]"
    DictionaryBody, // the entries of a dictionary: a border style "/W 2 /S /D", an action
    ArrayBody,      // a run of objects: the rest of a destination array "/XYZ 0 792 1"
};

// True when text, written where the writer puts it, makes a well-formed object: every token a
// number, name, string, keyword (true, false, null) or reference, arrays and dictionaries
// closed, each dictionary key a name with a value. Comments and other keywords are refused.
bool isObjectSyntax(const char* text, ObjectSyntax expected);

} // namespace tpdf
