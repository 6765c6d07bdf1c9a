#include "base/string_list.h"

#include "base/text.h"

#include <cstring>

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
    storage_.Add(static_cast<uint32_t>(text.size()) + 1);
    if (!text.empty()) {
        std::memcpy(storage_.Data() + oldCount, text.data(), text.size() * sizeof(char16_t));
    }
    storage_[oldCount + text.size()] = u'\0';
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
