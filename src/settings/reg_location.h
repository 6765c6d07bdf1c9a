#pragma once
// RegLocation: the one way to name a registry key to the settings layer, by
// its kind, so that what a call reaches does not hang on how its path is
// spelled:
//  - Settings: below the archiver's settings root of the user or the
//    machine, served by the portable settings file while one is active;
//  - Absolute: a registry key named from its root, never in that file;
//  - Class: a key below HKEY_CLASSES_ROOT, never in that file either.
// A location refers to its path and does not own it: tables keep constants,
// and a location built from a computed path lives no longer than the call.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// The archiver's settings root, the same below HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE.
inline constexpr std::u16string_view kSettingsRootPath = u"Software\\Mivora";

// The registry view an operation acts in. The program is 32-bit: on 64-bit
// Windows its default view is the 32-bit one, and View64 reaches what 64-bit
// programs see (the 64-bit shell extension's classes, the 64-bit copy of the
// application path). 32-bit Windows has one view, which both name.
enum class RegistryView { Default, View64 };

// The root that settings and absolute keys live under.
enum class RegScope : uint8_t { User, Machine };

class RegLocation {
public:
    static constexpr RegLocation Settings(RegScope scope, std::u16string_view key) {
        return {Kind::Settings, scope, key};
    }
    static constexpr RegLocation Absolute(RegScope scope, std::u16string_view path) {
        return {Kind::Absolute, scope, path};
    }
    static constexpr RegLocation Class(std::u16string_view path) {
        return {Kind::Class, RegScope::Machine, path};
    }

    HKEY Root() const;
    // The key's path below Root(), cut to 511 characters: a settings key
    // "Setup\MenuItems" is "Software\Mivora\Setup\MenuItems", the empty one
    // the settings root itself; other kinds' paths are taken as they are.
    std::u16string Path() const;
    // A settings key's path below the settings root, which the portable
    // settings file may serve; none for the other kinds.
    constexpr std::optional<std::u16string_view> SettingsKey() const {
        return kind_ == Kind::Settings ? std::optional(path_) : std::nullopt;
    }
    constexpr bool operator==(const RegLocation&) const = default;

private:
    enum class Kind : uint8_t { Settings, Absolute, Class };
    constexpr RegLocation(Kind kind, RegScope scope, std::u16string_view path)
        : kind_(kind), scope_(scope), path_(path) {}

    Kind kind_;
    RegScope scope_;
    std::u16string_view path_;
};

} // namespace ozu
