#include "base/system_info.h"

#include <shlobj.h>

#include "base/com_ptr.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/win32_text.h"

namespace ozu {

namespace {

// A function of kernel32 that older systems lack; null when missing.
template <typename Function> Function Kernel32Function(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) {
        return nullptr;
    }
    FARPROC proc = ::GetProcAddress(kernel, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

} // namespace

unsigned WindowsVersion() {
    static int platform = -1;
    static unsigned major = 0;
    static unsigned minor = 0;
    if (platform == -1) {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (::GetVersionExW(&info)) {
            platform = static_cast<int>(info.dwPlatformId);
            major = info.dwMajorVersion;
            minor = info.dwMinorVersion;
        } else {
            platform = 0;
        }
    }
    if (platform != VER_PLATFORM_WIN32_NT) {
        return 0x0501;
    }
    return major * 256 + minor;
}

bool ProgramDataFolder(std::u16string& folder) {
    folder.clear();
    LPITEMIDLIST items = nullptr;
    bool found = false;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) &&
        items != nullptr) {
        // SHGetPathFromIDListW writes at most MAX_PATH characters.
        std::u16string path(kPathCapacity, u'\0');
        if (::SHGetPathFromIDListW(items, W(path.data())) && path[0] != u'\0') {
            path.resize(path.find(u'\0'));
            EnsureTrailingSeparator(path, kPathCapacity);
            path += u"Mivora";
            folder = std::move(path);
            found = PathExists(folder);
        }
    }
    if (items != nullptr) {
        ComPtr<IMalloc> allocator;
        if (SUCCEEDED(::SHGetMalloc(allocator.Put())) && allocator) {
            allocator->Free(items);
        }
    }
    return found;
}

bool RunningUnderWow64() {
    static int cache = -1;
    if (cache == -1) {
        using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
        auto isWow64Process = Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
        BOOL wow64 = FALSE;
        if (isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64)) {
            cache = wow64 ? 1 : 0;
        }
    }
    return cache == 1;
}

bool IsElevated(bool& known) {
    HANDLE opened = nullptr;
    known = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened) != FALSE;
    const KernelHandle token(known ? opened : nullptr);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    known =
        known && ::GetTokenInformation(opened, TokenElevation, &elevation, sizeof elevation, &size);
    return known && elevation.TokenIsElevated != 0;
}

bool NativeIsItanium() {
    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    auto getNativeSystemInfo = Kernel32Function<GetNativeSystemInfoFn>("GetNativeSystemInfo");
    if (getNativeSystemInfo == nullptr) {
        return false;
    }
    SYSTEM_INFO info{};
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

void RestrictDllSearchPath(bool restrict) {
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    auto setDllDirectory = Kernel32Function<SetDllDirectoryFn>("SetDllDirectoryW");
    if (setDllDirectory != nullptr) {
        // An empty string takes the current folder out of the search order;
        // null restores the default order.
        setDllDirectory(restrict ? L"" : nullptr);
    }
}

HMODULE LoadSystemLibrary(std::u16string_view fileName) {
    std::u16string folder(kPathCapacity, u'\0');
    UINT length = ::GetSystemDirectoryW(W(folder.data()), static_cast<UINT>(kPathCapacity));
    if (length == 0 || length >= kPathCapacity) {
        return nullptr;
    }
    folder.resize(length);
    const std::u16string path = JoinPath(folder, fileName, kPathCapacity);
    return path.empty() ? nullptr : ::LoadLibraryW(W(path));
}

int ScaleToScreenDpi(int value) {
    static int dpiX = 0;
    static int dpiY = 0;
    if (dpiY == 0) {
        if (HDC screen = ::GetDC(nullptr)) {
            dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
            dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
            ::ReleaseDC(nullptr, screen);
        }
    }
    (void)dpiX;
    return static_cast<int>(int64_t{value} * dpiY / 96);
}

} // namespace ozu
