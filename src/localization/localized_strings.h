// Texts by id and the language resources: the language file first, then the
// language resource library "ozulng.dll", then the program's own string table.
// Also finds files in the user's language folder and switches the process to
// right-to-left layout when the language asks for it. (Windows only.)
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

// Capacity of a text by id, terminator included: GetLocalizedString returns
// at most kLocalizedStringCapacity - 1 characters.
inline constexpr size_t kLocalizedStringCapacity = 1024;

// Loads "ozulng.dll" beside the program (or from the language folder) as a
// data file and makes it the resource module; without it the program's own
// instance stays the resource module. Releases a library loaded before.
void LoadLanguageLibrary(HINSTANCE program);

// Frees the language library, so that its file can be deleted; the program's
// own instance becomes the resource module again.
void ReleaseLanguageLibrary();

// Where dialogs and icons are taken from: the language library when loaded,
// otherwise the program's own instance.
HINSTANCE ResourceModule();

// The program's own instance (as given to LoadLanguageLibrary; the running
// executable before that).
HINSTANCE ProgramInstance();

// Finds and loads the language file `name` (from the language folder when it
// is there, else beside the program) and applies right-to-left layout when
// the file's DIRECTION line or an "RTL" dialog of the resource module asks.
void StartLanguage(std::u16string_view name);

// The copy of `name` in the folder named by the "LanguageFolder" setting
// (environment variables expanded) when it exists there; otherwise `name`.
std::u16string FindInLanguageFolder(std::u16string_view name);

// The text of `id`, cut to capacity - 1 characters. False with `out` empty
// when no source has it.
bool LoadLocalizedString(uint32_t id, std::u16string& out,
                         size_t capacity = kLocalizedStringCapacity);

// The text of `id` (at most 1023 characters), empty when no source has it.
// Returned by value: a text never changes under its holder later.
std::u16string GetLocalizedString(uint32_t id);

} // namespace ozu
