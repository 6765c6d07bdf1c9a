// The SIZE entry of a dialog's section in the language file: a translation
// whose texts are longer than the English ones widens and heightens the
// dialog and its controls by a percentage. Portable arithmetic only; the
// dialog hook applies the result to the windows.
#pragma once

#include <optional>
#include <string_view>

namespace ozu {

// Width and height factors in percent.
struct SizePercent {
    int width = 100;
    int height = 100;
};

// A rectangle as position and extent, in pixels.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

// Factors above this are refused: the entry comes from a translator's file,
// and a dialog many screens wide helps nobody (nor does integer overflow).
inline constexpr int kMaxSizePercent = 1000;

// Reads "width*height" (blanks around either number are allowed). Nothing when
// the text is not of that form, a number is not positive or above
// kMaxSizePercent, or both are 100 (no change).
std::optional<SizePercent> ParseSizeEntry(std::u16string_view text);

// A length scaled by a percentage, rounded to the nearest pixel.
int ScaleLength(int length, int percent);

// A control's box within the dialog's client area, scaled: its position and
// its extent grow alike, so the layout keeps its proportions.
Box ScaleControlBox(const Box& box, const SizePercent& size);

// The dialog window's new box. Its client area is scaled; the frame (window
// box minus client extent) keeps its size. A centred dialog keeps its centre;
// any other keeps its top-left corner.
Box ScaleDialogBox(const Box& window, int clientWidth, int clientHeight, const SizePercent& size,
                   bool centred);

} // namespace ozu
