#pragma once
// RegLocation: a registry key named by its kind, so that what a call reaches
// does not hang on how its path is spelled. The settings layer's path rule
// (a relative key lies below "Software\Mivora", a leading backslash makes it
// absolute) stays for the short forms; code that names a key of its own
// says which kind it means:
//  - Settings: below the archiver's settings root of the user or the
//    machine, served by the portable settings file while one is active;
//  - Absolute: a registry key named from its root, never in that file;
//  - Class: a key below HKEY_CLASSES_ROOT.
// A location refers to its path and does not own it: tables keep constants,
// and a location built from a computed path lives no longer than the call.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

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
    // The key in the form the settings layer takes beside Root().
    std::u16string Key() const;
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
