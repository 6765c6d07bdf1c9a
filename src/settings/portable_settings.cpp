#include "settings/portable_settings.h"

#include "base/change_plan.h"
#include "base/error_handler.h"
#include "base/log_fields.h"
#include "base/run_log.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/string_list.h"
#include "base/system_info.h"
#include "base/text.h"
#include "base/text_file_reader.h"
#include "base/trusted_folder.h"
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

// The names tried for the new file beside the settings file: this process's
// own, so that two saves at once never meet, and a few more where something
// already stands at one (nothing that stands there is ever opened).
constexpr unsigned kTemporaryNames = 8;

std::u16string TemporaryName(const std::u16string& path, unsigned attempt) {
    return path + u"." + FormatDecimal(::GetCurrentProcessId(), kNumberCapacity) + u"." +
           FormatDecimal(attempt, kNumberCapacity) + u".tmp";
}

FileHandle CreateTemporaryBeside(const std::u16string& path, std::u16string& temporary) {
    constexpr DWORD kAccess = GENERIC_WRITE | FILE_WRITE_ATTRIBUTES;
    for (unsigned attempt = 0; attempt < kTemporaryNames; ++attempt) {
        temporary = TemporaryName(path, attempt);
        FileHandle file = CreatePlainNewFile(temporary, kAccess, FILE_SHARE_READ);
        if (file) {
            return file;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED) {
            return {};
        }
    }
    return {};
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return bytes.size() <= MAXDWORD &&
           ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && ::FlushFileBuffers(file);
}

// Replaces the file at `path` by `bytes` so that it is never seen half
// written: the content goes to a new file of a name of its own beside it,
// made and checked through its handle (no link, one name, where it was
// named), which then takes the old file's place through that same handle.
// Nothing that stands at any name is written through or moved. On any
// failure the new file goes again and the old file is left as it was.
bool ReplaceFileContent(const std::u16string& path, const std::string& bytes) {
    // A planning run has logged each change of the file's entries; the file
    // itself stays as it is.
    if (Planning()) {
        return true;
    }
    // A read-only file is not to be changed (the system would refuse to
    // replace it, but not every system checks that on a rename).
    const uint32_t attributes = QueryAttributes(path);
    if (attributes != kInvalidAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::u16string temporary;
    FileHandle file = CreateTemporaryBeside(path, temporary);
    if (!file) {
        return false;
    }
    if (!WriteAll(file.Get(), bytes)) {
        const DWORD error = ::GetLastError();
        DiscardNewFile(std::move(file), temporary);
        ::SetLastError(error);
        return false;
    }
    // Keep a hidden or system file hidden or system.
    const uint32_t kept = attributes == kInvalidAttributes
                              ? 0
                              : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return PutNewFileInPlace(std::move(file), temporary, path, kept);
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

bool PortableSettings::IsRedirected(const RegLocation& at) {
    Load();
    return loaded_ && at.SettingsKey().has_value();
}

std::optional<std::u16string> PortableSettings::Find(std::u16string_view name) const {
    return entries_.Find(name);
}

void PortableSettings::Set(std::u16string_view name, std::u16string_view value, EntryKind kind) {
    entries_.Set(name, value, kind);
}

PortableSettings::Server PortableSettings::Serve(const RegLocation& at,
                                                 std::u16string_view valueName,
                                                 std::u16string& entry) {
    if (IsRedirected(at)) {
        entry = MakeSettingsEntryName(RootOf(at.Root()), *at.SettingsKey(), valueName);
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
    const bool saved = ReplaceFileContent(path_, entries_.Serialize());
    const std::u16string error = LogNumber(saved ? 0 : ::GetLastError());
    LogRecord("settings-file-save", {{"path", path_},
                                     {"result", ChangeResult(saved)},
                                     {"error", saved ? std::u16string_view() : error}});
    return saved;
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
