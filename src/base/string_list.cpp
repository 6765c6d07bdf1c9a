#include "base/string_list.h"

#include <cstring>
#include <string>

#include "base/text.h"

namespace ozu {

void StringList::AddString(const char16_t* text) {
    AddString(std::u16string_view(text != nullptr ? text : u""));
}

void StringList::AddString(std::u16string_view text) {
    size_t zero = text.find(u'\0');
    if (zero != std::u16string_view::npos) {
        text = text.substr(0, zero);
    }
    const uint32_t oldCount = storage_.Size();
    if (text.size() >= UINT32_MAX) {
        TheErrorHandler().MemoryError();
    }
    // The text may be one that this list handed out, inside the storage that
    // growing moves: copy it first.
    const std::u16string copy(text);
    storage_.Add(static_cast<uint32_t>(copy.size()) + 1);
    std::memcpy(storage_.Data() + oldCount, copy.c_str(), (copy.size() + 1) * sizeof(char16_t));
    ++stringCount_;
}

bool StringList::GetString(const char16_t*& text) {
    if (readPosition_ >= storage_.Size()) {
        text = nullptr;
        return false;
    }
    text = storage_.Data() + readPosition_;
    readPosition_ += static_cast<uint32_t>(TextLength(text)) + 1;
    return true;
}

bool StringList::GetString(std::u16string_view& text) {
    const char16_t* p = nullptr;
    if (!GetString(p)) {
        text = {};
        return false;
    }
    text = std::u16string_view(p);
    return true;
}

void StringList::Reset() {
    storage_.Reset();
    readPosition_ = 0;
    stringCount_ = 0;
}

} // namespace ozu
