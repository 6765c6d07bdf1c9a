// Test helpers for the integration writers. They reach the registry and the
// file system directly, never through the code under test, so what a test
// checks is what Windows really holds. Keys and texts are UTF-8 here for
// readable expectations.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ozu::test {

std::u16string Wide(std::string_view text);
std::string Utf8(std::u16string_view text);

// view: 0 (the process's default), KEY_WOW64_32KEY or KEY_WOW64_64KEY.
void SetString(HKEY root, std::string_view key, std::string_view name, std::string_view text,
               REGSAM view = 0);
void SetDword(HKEY root, std::string_view key, std::string_view name, uint32_t value,
              REGSAM view = 0);
std::optional<std::string> GetString(HKEY root, std::string_view key, std::string_view name,
                                     REGSAM view = 0);
std::optional<uint32_t> GetDword(HKEY root, std::string_view key, std::string_view name,
                                 REGSAM view = 0);
bool KeyExists(HKEY root, std::string_view key, REGSAM view = 0);
// Names of the values of a key, sorted ("" for the default value).
std::vector<std::string> ValueNames(HKEY root, std::string_view key, REGSAM view = 0);
void DeleteTree(HKEY root, std::string_view key, REGSAM view = 0);

// Captures the given key trees (or their absence) and puts them back exactly
// when destroyed, so that every test leaves the registry as it found it.
class RegistryGuard {
public:
    struct Node;
    RegistryGuard() = default;
    ~RegistryGuard();
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;
    void Keep(HKEY root, std::string_view key, REGSAM view = 0);

private:
    struct Saved {
        HKEY root;
        std::u16string key;
        REGSAM view;
        std::shared_ptr<Node> tree; // null: the key did not exist
    };
    std::vector<Saved> saved_;
};

// Makes a deny-write DACL stand on a key (created first when missing), the
// way a user without administrator rights meets it; undone by the destructor,
// which also deletes the key.
class WriteDenied {
public:
    WriteDenied(HKEY root, std::string_view key);
    ~WriteDenied();
    WriteDenied(const WriteDenied&) = delete;
    WriteDenied& operator=(const WriteDenied&) = delete;
    bool Active() const { return active_; }

private:
    HKEY root_;
    std::u16string key_;
    bool active_ = false;
};

// A private folder that stands in for the installation folder: the program's
// path points into it while the object lives.
class StagedProgram {
public:
    StagedProgram();
    ~StagedProgram();
    StagedProgram(const StagedProgram&) = delete;
    StagedProgram& operator=(const StagedProgram&) = delete;
    const std::u16string& Folder() const { return folder_; }
    std::u16string PathOf(std::u16string_view name) const;
    // Creates a file with the given bytes in the folder.
    void PutFile(std::u16string_view name, std::string_view bytes = {}) const;
    std::optional<std::string> ReadFile(std::u16string_view name) const;

private:
    std::u16string folder_;
};

// Every key and value below HKLM\Software and HKCU\Software (which hold
// HKEY_CLASSES_ROOT), in both registry views, one sorted line each.
std::vector<std::string> ExportRegistry();
// The lines only in `before` ("- ") and only in `after` ("+ "); empty when equal.
std::string DiffExports(const std::vector<std::string>& before,
                        const std::vector<std::string>& after);

} // namespace ozu::test

namespace ozu::test {

// Keeps every key that setup and uninstall may write (extensions, classes,
// shell extension keys in both views, application path, uninstall entry,
// settings roots), so that a test of the whole sequence leaves no trace.
void KeepIntegrationKeys(RegistryGuard& guard);

// Paths of the shell folders by CSIDL, and removal of every shortcut and
// program group that setup may have made.
std::u16string ShellFolder(int csidl);
void RemoveShortcuts();

} // namespace ozu::test
