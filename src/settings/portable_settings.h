#pragma once
// PortableSettings: the settings file "Mivora.ini" of a portable archiver,
// which takes the place of the registry for every key below the settings root.
// It is found beside the program, or else in the "Mivora" folder of the user's
// roaming application-data folder, and read once, on the first registry
// request. Its global switches decide whether the program may touch the
// registry at all (Global\Integration) and whether changes are written back
// (Global\SaveSettings).
//
// A file that was not read to its end (a read error, memory running out, text
// that did not decode completely) serves what was read for this run, but is
// never saved: the save would replace the whole file by that part of it.
//
// Saving at process exit: the single instance is a function-local static, and
// its destructor saves the file and clears the entries after wWinMain has
// returned (start-up needs to call nothing for that, but must leave wWinMain by
// returning, not by ExitProcess). Save replaces the file atomically: the new
// content goes to a temporary file in the same folder first, and the old file
// is replaced only when all of it was written.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/reg_location.h"
#include "settings/settings_file.h"

namespace ozu {

class PortableSettings {
public:
    static PortableSettings& Instance();

    PortableSettings(const PortableSettings&) = delete;
    PortableSettings& operator=(const PortableSettings&) = delete;

    // Finds and reads the file, at most once until the next Clear.
    void Load();
    // Forgets everything and reads the given file instead of searching (tests,
    // and callers that know the file); true when it was read.
    bool LoadFrom(std::u16string_view path);

    // True when the file serves this key: a settings key, while a file is
    // active. Loads the file on first use.
    bool IsRedirected(const RegLocation& at);

    std::optional<std::u16string> Find(std::u16string_view name) const;
    void Set(std::u16string_view name, std::u16string_view value, EntryKind kind);
    // Removes every entry with exactly this name.
    void RemoveEntry(std::u16string_view name) { entries_.RemoveName(name); }

    // Who serves a request for this key and value: the file (with the
    // entry's name in `entry`), nobody (the file forbids every other registry
    // change), or the registry. Loads the file on first use.
    enum class Server { Registry, File, Nobody };
    Server Serve(const RegLocation& at, std::u16string_view valueName, std::u16string& entry);

    // Entry operations of the file. A key's entry (empty value name) stands
    // for the key with its values and subkeys.
    bool ContainsKey(std::u16string_view entry) const { return entries_.ContainsPrefix(entry); }
    void RemoveKey(std::u16string_view entry) { entries_.RemovePrefix(entry); }
    // A number's entry as signed decimal text, or `def`.
    int64_t ReadNumber(std::u16string_view entry, int64_t def) const;
    // Stores the value, taken as unsigned 32-bit, as plain decimal text.
    void WriteNumber(std::u16string_view entry, int64_t value);

    // Writes the file when it was loaded whole and Global\SaveSettings allows
    // it; false when nothing was written. On failure the old file is unchanged.
    bool Save();
    // Frees the entries and lets the next request search for the file again.
    void Clear();
    // Reads Global\AppData, Global\Integration and Global\SaveSettings (default
    // 1) and stores them back as 1 or 0.
    void ReadGlobalFlags();

    bool IsIntegrationEnabled() const { return integration_; }
    bool IsSaveEnabled() const { return saveSettings_; }
    bool IsAppDataEnabled() const { return appData_; }
    bool IsLoaded() const { return loaded_; }
    const std::u16string& FilePath() const { return path_; }
    const SettingsEntryList& Entries() const { return entries_; }

private:
    PortableSettings();
    ~PortableSettings();

    static SettingsRoot RootOf(HKEY root);
    // Reads the file at path_ into the entries and marks it loaded.
    void ReadFile();

    SettingsEntryList entries_;
    std::u16string path_;
    bool loaded_ = false;
    bool loadedWhole_ = false; // read to its end: Save may replace it
    bool loadAttempted_ = false;
    bool appData_ = true;
    bool integration_ = true;
    bool saveSettings_ = true;
};

} // namespace ozu
