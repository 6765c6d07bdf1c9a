#pragma once
// Reads a whole text file in UTF-16, UTF-8 or the ANSI code page as lines.

#include <string_view>

namespace ozu {

class StringList;

class TextFileReader {
public:
    // Adds the file's non-empty lines to the list. False (list unchanged) when
    // the file cannot be opened. A read error ends the data where it happened;
    // `whole`, when given, is then set to false, as it is when UTF-8 text did
    // not decode completely.
    static bool Read(std::u16string_view fileName, StringList& list, bool* whole = nullptr);
};

} // namespace ozu
