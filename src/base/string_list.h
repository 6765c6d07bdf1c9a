#pragma once
// A packed list of wide strings, stored back to back with their terminators,
// handed out one after the other.

#include <cstdint>
#include <string_view>

#include "base/growable_array.h"

namespace ozu {

class StringList {
public:
    // Null is taken as the empty string.
    void AddString(const char16_t* text);
    // The view's characters up to its end or its first zero character.
    void AddString(std::u16string_view text);

    // The next string and true; null (empty) and false at the end. What is
    // handed out points into the list and stays valid until the next
    // AddString or Reset.
    bool GetString(const char16_t*& text);
    bool GetString(std::u16string_view& text);

    // Starts handing out from the first string again.
    void Rewind() { readPosition_ = 0; }
    // Empties the list, frees its storage and rewinds.
    void Reset();

    uint32_t Count() const { return stringCount_; }

private:
    GrowableArray<char16_t> storage_;
    uint32_t readPosition_ = 0;
    uint32_t stringCount_ = 0;
};

} // namespace ozu
