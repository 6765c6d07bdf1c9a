#include "settings/portable_settings.h"

#include "base/change_plan.h"
#include "base/disk_file.h"
#include "base/error_handler.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/string_list.h"
#include "base/system_info.h"
#include "base/text.h"
#include "base/text_file_reader.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

constexpr std::u16string_view kFileName = u"Mivora.ini";
constexpr std::u16string_view kGlobalKey = u"Global";
constexpr std::u16string_view kAppData = u"AppData";
constexpr std::u16string_view kIntegration = u"Integration";
constexpr std::u16string_view kSaveSettings = u"SaveSettings";
// Numbers are written into 20 characters.
constexpr size_t kNumberCapacity = 20;

bool MoveReplacing(const std::u16string& from, const std::u16string& to) {
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(W(from), W(to), flags)) {
        return true;
    }
    std::u16string longFrom;
    std::u16string longTo;
    return ToExtendedLengthPath(from, longFrom) && ToExtendedLengthPath(to, longTo) &&
           ::MoveFileExW(W(longFrom), W(longTo), flags);
}

// Replaces the file at `path` by `bytes` so that it is never seen half
// written: the content goes to a temporary file beside it, which replaces the
// old file only when all of it reached the disk. On any failure the temporary
// file is removed and the old file is left exactly as it was.
bool ReplaceFileContent(const std::u16string& path, const std::string& bytes) {
    // A planning run has logged each change of the file's entries; the file
    // itself stays as it is.
    if (Planning()) {
        return true;
    }
    // A read-only file is not to be changed (the system would refuse to
    // replace it, but not every system checks that on a rename).
    uint32_t attributes = QueryAttributes(path);
    if (attributes != kInvalidAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    // A fixed name beside the file: a second writer at the same moment finds
    // it held without write sharing and fails instead of mixing content.
    std::u16string temporary = path + u".tmp";
    {
        DiskFile file;
        if (!file.Create(temporary, FileModeUpdate | FileModeShareRead)) {
            return false;
        }
        // A DiskFile that is destroyed while still open after Create deletes
        // its file, so every early return here removes the temporary file.
        if (!file.Write(bytes.data(), bytes.size()) || !::FlushFileBuffers(file.Handle())) {
            return false;
        }
        if (!file.Close()) {
            RemoveFile(temporary);
            return false;
        }
    }
    // Keep a hidden or system file hidden or system.
    if (attributes != kInvalidAttributes) {
        DWORD keep = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (keep != 0) {
            ::SetFileAttributesW(W(temporary), keep);
        }
    }
    if (!MoveReplacing(temporary, path)) {
        ::SetFileAttributesW(W(temporary), FILE_ATTRIBUTE_NORMAL);
        RemoveFile(temporary);
        return false;
    }
    return true;
}

} // namespace

PortableSettings& PortableSettings::Instance() {
    static PortableSettings instance;
    return instance;
}

PortableSettings::PortableSettings() {
    // The save at process exit may report through the error handler, so it
    // must be built first and therefore destroyed after this object.
    (void)TheErrorHandler();
}

PortableSettings::~PortableSettings() {
    // The save at process exit, after wWinMain has returned. A file that was
    // deleted while the program ran (the uninstall removes the installation
    // with its settings file) is not brought back.
    if (loaded_ && PathExists(path_))
        (void)Save();
    Clear();
}

SettingsRoot PortableSettings::RootOf(HKEY root) {
    if (root == HKEY_CURRENT_USER) {
        return SettingsRoot::CurrentUser;
    }
    if (root == HKEY_LOCAL_MACHINE) {
        return SettingsRoot::LocalMachine;
    }
    return SettingsRoot::None;
}

void PortableSettings::Load() {
    if (loaded_ || loadAttempted_) {
        return;
    }
    loadAttempted_ = true;
    path_.clear();

    // The file beside the program wins over the one in the user's
    // application-data folder.
    std::u16string candidate = FileBesideProgram(kFileName);
    if (!PathExists(candidate)) {
        std::u16string folder;
        if (ProgramDataFolder(folder)) {
            candidate = JoinPath(folder, kFileName);
        }
    }
    if (candidate.empty() || !PathExists(candidate)) {
        return; // no portable file: the registry alone
    }
    path_ = std::move(candidate);
    ReadFile();
}

bool PortableSettings::LoadFrom(std::u16string_view path) {
    Clear();
    loadAttempted_ = true;
    path_.assign(path);
    if (!path_.empty() && PathExists(path_)) {
        ReadFile();
    }
    return loaded_;
}

void PortableSettings::ReadFile() {
    // Running out of memory here ends the program (there is no exception to
    // catch): going on to change the machine with only part of its settings
    // read would be worse.
    bool whole = true;
    StringList lines;
    if (!TextFileReader::Read(path_, lines, &whole)) {
        return; // unreadable (or a folder): the registry alone
    }
    std::u16string_view line;
    while (lines.GetString(line)) {
        if (std::optional<SettingsEntry> entry = ParseSettingsLine(line)) {
            entries_.Append(std::move(*entry));
        }
    }
    loaded_ = true;
    loadedWhole_ = whole;
    ReadGlobalFlags();
}

bool PortableSettings::IsRedirected(HKEY root, std::u16string_view key) {
    Load();
    if (!loaded_) {
        return false;
    }
    if (root != nullptr && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) {
        return false;
    }
    // A leading backslash names a registry path outside the program's own key.
    return key.empty() || key.front() != u'\\';
}

bool PortableSettings::MakeEntryName(HKEY root, std::u16string_view key,
                                     std::u16string_view valueName, std::u16string& out) {
    if (!IsRedirected(root, key)) {
        return false;
    }
    out = MakeSettingsEntryName(RootOf(root), key, valueName);
    return true;
}

std::optional<std::u16string> PortableSettings::Find(std::u16string_view name) const {
    return entries_.Find(name);
}

void PortableSettings::Set(std::u16string_view name, std::u16string_view value, EntryKind kind) {
    entries_.Set(name, value, kind);
}

PortableSettings::Server PortableSettings::Serve(HKEY root, std::u16string_view key,
                                                 std::u16string_view valueName,
                                                 std::u16string& entry) {
    if (MakeEntryName(root, key, valueName, entry)) {
        return Server::File;
    }
    return integration_ ? Server::Registry : Server::Nobody;
}

int64_t PortableSettings::ReadNumber(std::u16string_view entry, int64_t def) const {
    std::optional<std::u16string> text = entries_.Find(entry);
    return text ? ParseDecimal(*text) : def;
}

void PortableSettings::WriteNumber(std::u16string_view entry, int64_t value) {
    entries_.Set(entry, FormatDecimal(static_cast<uint32_t>(value), kNumberCapacity),
                 EntryKind::Plain);
}

void PortableSettings::ReadGlobalFlags() {
    bool* const flags[] = {&appData_, &integration_, &saveSettings_};
    const std::u16string_view names[] = {kAppData, kIntegration, kSaveSettings};
    for (size_t i = 0; i < 3; ++i) {
        *flags[i] =
            ReadNumber(MakeSettingsEntryName(RootOf(nullptr), kGlobalKey, names[i]), 1) != 0;
    }
    // Written back as 1 or 0, so the next save always carries all three.
    for (size_t i = 0; i < 3; ++i) {
        WriteNumber(MakeSettingsEntryName(RootOf(nullptr), kGlobalKey, names[i]),
                    *flags[i] ? 1 : 0);
    }
}

bool PortableSettings::Save() {
    // Part of a file, saved, would replace all of it.
    if (!loaded_ || !loadedWhole_ || !saveSettings_) {
        return false;
    }
    return ReplaceFileContent(path_, entries_.Serialize());
}

void PortableSettings::Clear() {
    loadAttempted_ = false;
    loaded_ = false;
    loadedWhole_ = false;
    entries_.Clear();
    path_.clear();
    // Without a file the switches are on.
    appData_ = true;
    integration_ = true;
    saveSettings_ = true;
}

} // namespace ozu
