#include "base/program_path.h"

#include <windows.h>

#include <utility>

#include "base/paths.h"
#include "base/win32_text.h"

namespace ozu {

namespace {

std::u16string& PathForTesting() {
    static std::u16string path;
    return path;
}

} // namespace

std::u16string ProgramPath() {
    if (!PathForTesting().empty()) {
        return PathForTesting();
    }
    std::u16string path(kPathCapacity, u'\0');
    DWORD length = ::GetModuleFileNameW(nullptr, W(path.data()), static_cast<DWORD>(kPathCapacity));
    path.resize(length < kPathCapacity ? length : kPathCapacity - 1);
    return path;
}

std::u16string ProgramFolder() {
    std::u16string folder = ProgramPath();
    StripNamePart(folder);
    return folder;
}

std::u16string FileBesideProgram(std::u16string_view name) {
    std::u16string path = ProgramPath();
    ReplaceNamePart(path, name, kPathCapacity);
    return path;
}

void SetProgramPathForTesting(std::u16string path) {
    PathForTesting() = std::move(path);
}

} // namespace ozu
