#pragma once
// Reads a whole text file in UTF-16, UTF-8 or the ANSI code page as lines.

#include <string_view>

namespace ozu {

class StringList;

class TextFileReader {
public:
    // Adds the file's non-empty lines to the list. False (list unchanged) when
    // the file cannot be opened; a read error ends the data where it happened.
    static bool Read(std::u16string_view fileName, StringList& list);
};

} // namespace ozu
