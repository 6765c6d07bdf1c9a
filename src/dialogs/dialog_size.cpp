#include "dialogs/dialog_size.h"

#include <cstdint>

namespace ozu {
namespace {

bool IsBlankChar(char16_t c) {
    return c == u' ' || c == u'\t';
}

// Reads a run of decimal digits at `pos`, surrounded by optional blanks.
// Values above kMaxSizePercent stop counting there, so long runs cannot overflow.
std::optional<int> ReadPercent(std::u16string_view text, size_t& pos) {
    while (pos < text.size() && IsBlankChar(text[pos])) {
        ++pos;
    }
    size_t start = pos;
    int64_t value = 0;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
        if (value <= kMaxSizePercent) {
            value = value * 10 + (text[pos] - u'0');
        }
        ++pos;
    }
    if (pos == start || value <= 0 || value > kMaxSizePercent) {
        return std::nullopt;
    }
    while (pos < text.size() && IsBlankChar(text[pos])) {
        ++pos;
    }
    return static_cast<int>(value);
}

} // namespace

std::optional<SizePercent> ParseSizeEntry(std::u16string_view text) {
    size_t pos = 0;
    std::optional<int> width = ReadPercent(text, pos);
    if (!width || pos >= text.size() || text[pos] != u'*') {
        return std::nullopt;
    }
    ++pos;
    std::optional<int> height = ReadPercent(text, pos);
    if (!height || pos != text.size()) {
        return std::nullopt;
    }
    if (*width == 100 && *height == 100) {
        return std::nullopt;
    }
    return SizePercent{*width, *height};
}

int ScaleLength(int length, int percent) {
    int64_t scaled = static_cast<int64_t>(length) * percent;
    // Round half away from zero, so that mirrored (negative) positions scale alike.
    scaled += scaled >= 0 ? 50 : -50;
    return static_cast<int>(scaled / 100);
}

Box ScaleControlBox(const Box& box, const SizePercent& size) {
    return Box{ScaleLength(box.left, size.width), ScaleLength(box.top, size.height),
               ScaleLength(box.width, size.width), ScaleLength(box.height, size.height)};
}

Box ScaleDialogBox(const Box& window, int clientWidth, int clientHeight, const SizePercent& size,
                   bool centred) {
    Box scaled = window;
    scaled.width = window.width - clientWidth + ScaleLength(clientWidth, size.width);
    scaled.height = window.height - clientHeight + ScaleLength(clientHeight, size.height);
    if (centred) {
        // Half of the growth goes to each side; integer halves keep the centre
        // within one pixel.
        scaled.left = window.left - (scaled.width - window.width) / 2;
        scaled.top = window.top - (scaled.height - window.height) / 2;
    }
    return scaled;
}

} // namespace ozu
