// The registry as the tests see it: directly, never through the code under
// test, so that what a test checks is what Windows really holds. Keys, names
// and texts are UTF-8 for readable expectations.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"

namespace ozu::test {

// view: 0 (the process's default), KEY_WOW64_32KEY or KEY_WOW64_64KEY.
void SetString(HKEY root, std::string_view key, std::string_view name, std::string_view text,
               REGSAM view = 0);
void SetDword(HKEY root, std::string_view key, std::string_view name, uint32_t value,
              REGSAM view = 0);
std::optional<std::string> GetString(HKEY root, std::string_view key, std::string_view name,
                                     REGSAM view = 0);
std::optional<uint32_t> GetDword(HKEY root, std::string_view key, std::string_view name,
                                 REGSAM view = 0);
// A value as its raw bytes and type.
struct RawValue {
    DWORD type = 0;
    std::string data;
};
void SetRaw(HKEY root, std::string_view key, std::string_view name, DWORD type,
            std::string_view data, REGSAM view = 0);
std::optional<RawValue> GetRaw(HKEY root, std::string_view key, std::string_view name,
                               REGSAM view = 0);
// A value as the tests compare it: its text, a number in decimal, or
// "<none>" when the key or value is missing.
std::string ValueText(HKEY root, std::string_view key, std::string_view name, REGSAM view = 0);
// The default value of a key below HKEY_CLASSES_ROOT, or "<none>".
inline std::string ClassOf(std::string_view key) {
    return ValueText(HKEY_CLASSES_ROOT, key, "");
}
bool KeyExists(HKEY root, std::string_view key, REGSAM view = 0);
void CreateKey(HKEY root, std::string_view key, REGSAM view = 0);
// Names of the values of a key, sorted ("" for the default value).
std::vector<std::string> ValueNames(HKEY root, std::string_view key, REGSAM view = 0);
void DeleteTree(HKEY root, std::string_view key, REGSAM view = 0);
void DeleteValue(HKEY root, std::string_view key, std::string_view name, REGSAM view = 0);

// Captures the given key trees (or their absence) and puts them back exactly
// when destroyed, so that every test leaves the registry as it found it.
class RegistryGuard {
public:
    struct Node;
    struct Tree {
        HKEY root;
        std::string_view key;
        REGSAM view = 0;
    };
    RegistryGuard() = default;
    // Clears the given trees for the test, and gives them back afterwards.
    explicit RegistryGuard(std::initializer_list<Tree> cleared) {
        for (const Tree& tree : cleared)
            Clear(tree.root, tree.key, tree.view);
    }
    ~RegistryGuard();
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;
    void Keep(HKEY root, std::string_view key, REGSAM view = 0);
    // Keeps the tree and deletes it, for a test that starts without it.
    void Clear(HKEY root, std::string_view key, REGSAM view = 0);

private:
    struct Saved {
        HKEY root;
        std::u16string key;
        REGSAM view;
        std::shared_ptr<Node> tree; // null: the key did not exist
    };
    std::vector<Saved> saved_;
};

// Makes a DACL that refuses everything to everyone stand on a key, the way
// a user without administrator rights meets it; with `readable`, reading stays
// allowed and only writing is refused. A key that did not exist is created and
// deleted again; an existing key gets its own DACL back.
class WriteDenied {
public:
    WriteDenied(HKEY root, std::string_view key, bool readable = false);
    ~WriteDenied();
    WriteDenied(const WriteDenied&) = delete;
    WriteDenied& operator=(const WriteDenied&) = delete;
    bool Active() const { return active_; }

private:
    HKEY root_;
    std::u16string key_;
    HKEY handle_ = nullptr;      // held from before the deny to put it back
    std::vector<uint8_t> saved_; // the DACL of an existing key
    bool active_ = false;
};

// What an export holds: everything, or everything but the COM catalogue of
// other programs (interfaces, type libraries, classes not the archiver's),
// which nothing of the archiver names and which makes up most of the time.
enum class ExportScope { Everything, ArchiverReach };
// Every key and value below HKLM\Software and HKCU\Software (which hold
// HKEY_CLASSES_ROOT), in both registry views, one sorted line each.
std::vector<std::string> ExportRegistry(ExportScope scope = ExportScope::Everything);
// The lines only in `before` ("- ") and only in `after` ("+ "); empty when equal.
std::string DiffExports(const std::vector<std::string>& before,
                        const std::vector<std::string>& after);

// Every key that setup and uninstall may write (extensions, classes, shell
// extension keys in both views, application path, uninstall entry, settings
// roots). Kept, a test of the whole sequence leaves no trace; cleared, a test
// starts from a system that has never seen the archiver.
void KeepIntegrationKeys(RegistryGuard& guard);
// Every extension of the archive types, named again rather than taken from
// the program's table, so that a wrong row of the table shows.
inline const char* const kArchiveExtensions[] = {
    ".ozu", ".zip", ".cab", ".arj", ".lz",  ".tlz", ".lzh", ".lha",  ".7z",
    ".tar", ".gz",  ".tgz", ".uue", ".xxe", ".uu",  ".bz2", ".tbz2", ".bz",
    ".tbz", ".jar", ".iso", ".z",   ".taz", ".xz",  ".txz", ".zipx", ".001"};
inline const char* const kExtensionClsids[] = {"{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}",
                                               "{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}"};
inline const char* const kAppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
inline const char* const kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";
// True for a 32-bit test under WOW64, which sees both registry views.
bool RunningOn64BitWindows();
// The registry view that this build of the program writes when it names none:
// the 32-bit one for the shipped program (also on 32-bit Windows, which has
// only that one), the 64-bit one for the 64-bit test build. ExportRegistry
// labels it so.
constexpr REGSAM kProgramView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
inline const char* const kProgramViewLabel = sizeof(void*) == 8 ? "[64] " : "[32] ";
// Keys every Windows installation has, which a fresh Wine prefix may lack
// (handler lists of the shell's classes, the application paths, uninstall
// entries, approved extensions, registered applications), each with an entry
// of another program; without them a writer that deletes a shared parent
// would go unseen.
void SeedSharedKeys();
void ClearIntegration();

// Paths of the shell folders by CSIDL (empty when unknown), and removal of
// every shortcut and program group that setup may have made.
std::u16string ShellFolder(int csidl);
void RemoveShortcuts();

} // namespace ozu::test
