#include "settings/reg_location.h"

#include "base/text.h"

namespace ozu {
namespace {

// Registry paths are built in 512 characters; longer keys are cut.
constexpr size_t kKeyPathCapacity = 512;

} // namespace

HKEY RegLocation::Root() const {
    if (kind_ == Kind::Class) {
        return HKEY_CLASSES_ROOT;
    }
    return scope_ == RegScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::u16string RegLocation::Path() const {
    std::u16string path;
    if (kind_ == Kind::Settings) {
        path.assign(kSettingsRootPath);
        if (!path_.empty()) {
            path += u'\\';
        }
    }
    path.append(path_);
    return Truncate(std::move(path), kKeyPathCapacity);
}

} // namespace ozu
