#include "settings/portable_settings.h"

#include "base/change_sink.h"
#include "base/error_handler.h"
#include "base/file_system.h"
#include "base/log_fields.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
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
    if (loaded_ && PathExists(path_)) {
        (void)Save();
    }
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
    // Replaced as a whole, never seen half written: a preview keeps the file
    // as it is, each change of its entries logged.
    const std::string bytes = entries_.Serialize();
    return Made({.kind = ChangeKind::ReplaceFile,
                 .verb = "settings-file-save",
                 .path = path_,
                 .bytes = bytes});
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
