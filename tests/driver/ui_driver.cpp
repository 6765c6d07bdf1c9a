// ui_driver: plays a user at the program's dialogs and message boxes.
//
//   ui_driver.exe [--script FILE] [COMMAND]...
//
// Each COMMAND (one per argument, or one per line of the script file) is one of
//   launch CMDLINE        start the program; later commands look at its windows only
//   attach PID            look at the windows of a process that is already running
//   timeout MS            how long wait, gone and exit wait (default 20000)
//   wait [CAPTION]        wait for an enabled, visible dialog or message box (class #32770)
//                         other than the current one, optionally whose caption contains
//                         CAPTION; it becomes the current window and is printed
//   dump                  print the current window and every control of it
//   check ID 0|1          click the check box ID until it has that state
//   press ID              press the button ID (posted, so a modal dialog may open)
//   settext ID TEXT       replace the text of control ID
//   escape                press Escape in the current window
//   close                 click the current window's close box
//   gone                  wait until the current window is destroyed
//   capture FILE.bmp      save the current window's pixels as a bitmap
//   sleep MS              pause
//   windows               list the visible dialogs of the program
//   exit                  wait for the program to end and print its exit code
//   waitwindow TEXT       wait for a visible top-level window of any process other than a
//                         dialog box whose caption contains TEXT (a folder that the program
//                         opened in the shell, for instance), print it
//   closewindow           close the window that waitwindow found and wait until it is gone
//   nowindow TEXT MS      fail when such a window appears within MS milliseconds
// Lines starting with '#' and empty lines are ignored. Output is UTF-8, one fact per
// line: "window ...", "control ...", "exit N", "error ...". The driver's own exit code
// is 0 when every command succeeded, 2 otherwise; a program still running then is
// terminated, so that a failed scenario never leaves a window behind.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Failure {
    std::wstring what;
};

void Out(const std::wstring& line) {
    std::wstring text = line + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::wstring Quote(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring WindowText(HWND window) {
    // WM_GETTEXT is marshalled between processes, GetWindowText is not for controls.
    LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring Rect(const RECT& r) {
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
           std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom);
}

// Splits a command into words; double quotes group, and inside them \" and \\ escape.
std::vector<std::wstring> SplitWords(const std::wstring& line) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && iswspace(line[i]))
            ++i;
        if (i >= line.size())
            break;
        std::wstring word;
        if (line[i] == L'"') {
            ++i;
            while (i < line.size() && line[i] != L'"') {
                if (line[i] == L'\\' && i + 1 < line.size() &&
                    (line[i + 1] == L'"' || line[i + 1] == L'\\'))
                    ++i;
                word += line[i++];
            }
            ++i;
        } else {
            while (i < line.size() && !iswspace(line[i]))
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

class Driver {
public:
    ~Driver() {
        if (other_ && IsWindow(other_))
            PostMessageW(other_, WM_CLOSE, 0, 0);
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
    }

    void Run(const std::wstring& line) {
        size_t start = line.find_first_not_of(L" \t");
        if (start == std::wstring::npos || line[start] == L'#')
            return;
        std::vector<std::wstring> words = SplitWords(line);
        const std::wstring& verb = words[0];
        if (verb == L"launch")
            Launch(line.substr(line.find(L"launch") + 6));
        else if (verb == L"attach")
            processId_ = static_cast<DWORD>(Number(words, 1));
        else if (verb == L"timeout")
            timeout_ = Number(words, 1);
        else if (verb == L"wait")
            Wait(words.size() > 1 ? words[1] : L"");
        else if (verb == L"dump")
            Dump();
        else if (verb == L"check")
            Check(Number(words, 1), Number(words, 2) != 0);
        else if (verb == L"press")
            Press(Number(words, 1));
        else if (verb == L"settext")
            SetText(Number(words, 1), words.size() > 2 ? words[2] : L"");
        else if (verb == L"escape")
            PostMessageW(Current(), WM_KEYDOWN, VK_ESCAPE, 0);
        else if (verb == L"close")
            PostMessageW(Current(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else if (verb == L"gone")
            Gone();
        else if (verb == L"capture")
            Capture(words.size() > 1 ? words[1] : L"");
        else if (verb == L"sleep")
            Sleep(static_cast<DWORD>(Number(words, 1)));
        else if (verb == L"windows")
            ListWindows();
        else if (verb == L"exit")
            Exit();
        else if (verb == L"waitwindow")
            WaitOtherWindow(words.size() > 1 ? words[1] : L"");
        else if (verb == L"closewindow")
            CloseOtherWindow();
        else if (verb == L"nowindow")
            NoOtherWindow(words.size() > 1 ? words[1] : L"", Number(words, 2));
        else
            throw Failure{L"unknown command " + verb};
    }

private:
    static int Number(const std::vector<std::wstring>& words, size_t index) {
        if (index >= words.size())
            throw Failure{L"missing number after " + words[0]};
        return static_cast<int>(wcstol(words[index].c_str(), nullptr, 0));
    }

    void Launch(const std::wstring& commandLine) {
        std::wstring line = commandLine;
        line.erase(0, line.find_first_not_of(L" \t"));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            throw Failure{L"cannot start " + line + L" (error " + std::to_wstring(GetLastError()) +
                          L")"};
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        Out(L"launched " + Quote(line));
    }

    bool OwnedByProgram(HWND window) const {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        return processId_ == 0 || owner == processId_;
    }

    bool IsCandidate(HWND window, const std::wstring& caption) const {
        if (window == current_ || !IsWindowVisible(window) || !IsWindowEnabled(window))
            return false;
        if (ClassOf(window) != L"#32770" || !OwnedByProgram(window))
            return false;
        return caption.empty() || WindowText(window).find(caption) != std::wstring::npos;
    }

    HWND FindDialog(const std::wstring& caption) const {
        struct Search {
            const Driver* self;
            const std::wstring* caption;
            HWND found;
        } search{this, &caption, nullptr};
        struct Visit {
            static BOOL CALLBACK Window(HWND window, LPARAM param) {
                auto* s = reinterpret_cast<Search*>(param);
                if (!s->self->IsCandidate(window, *s->caption))
                    return TRUE;
                s->found = window;
                return FALSE;
            }
        };
        EnumWindows(Visit::Window, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    bool ProgramEnded() const {
        return process_ && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
    }

    void Wait(const std::wstring& caption) {
        DWORD started = GetTickCount();
        for (;;) {
            HWND found = FindDialog(caption);
            if (found) {
                current_ = found;
                // Let the dialog finish its first paint before anyone looks at it.
                Sleep(150);
                Out(L"window " + Describe(current_));
                return;
            }
            if (ProgramEnded())
                throw Failure{L"the program ended while waiting for a dialog " + Quote(caption)};
            if (GetTickCount() - started > static_cast<DWORD>(timeout_))
                throw Failure{L"no dialog " + Quote(caption) + L" appeared"};
            Sleep(50);
        }
    }

    HWND Current() const {
        if (!current_ || !IsWindow(current_))
            throw Failure{L"no current window"};
        return current_;
    }

    HWND Control(int id) const {
        HWND control = GetDlgItem(Current(), id);
        if (!control)
            throw Failure{L"no control " + std::to_wstring(id)};
        return control;
    }

    static std::wstring Describe(HWND window) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        RECT client = {};
        GetClientRect(window, &client);
        LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
        return L"class=" + ClassOf(window) + L" caption=" + Quote(WindowText(window)) + L" rtl=" +
               std::to_wstring((exStyle & WS_EX_LAYOUTRTL) ? 1 : 0) + L" rect=" + Rect(rect) +
               L" client=" + std::to_wstring(client.right) + L"," + std::to_wstring(client.bottom);
    }

    static int CheckState(HWND control) {
        if (ClassOf(control) != L"Button")
            return -1;
        switch (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
        default:
            return -1;
        }
    }

    static std::wstring FontOf(HWND control) {
        auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        LOGFONTW log = {};
        if (!font || GetObjectW(font, sizeof(log), &log) != sizeof(log))
            return L"";
        return L" font=" + Quote(log.lfFaceName) + L"," + std::to_wstring(log.lfHeight) + L"," +
               std::to_wstring(log.lfWeight);
    }

    void Dump() {
        HWND window = Current();
        Out(L"window " + Describe(window));
        for (HWND child = GetWindow(window, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rect = {};
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            if (rect.left > rect.right)
                std::swap(rect.left, rect.right);
            std::wstring line = L"control id=" + std::to_wstring(GetDlgCtrlID(child)) + L" class=" +
                                ClassOf(child) + L" text=" + Quote(WindowText(child));
            int check = CheckState(child);
            if (check >= 0)
                line += L" checked=" + std::to_wstring(check);
            line += L" enabled=" + std::to_wstring(IsWindowEnabled(child) ? 1 : 0) + L" visible=" +
                    std::to_wstring(IsWindowVisible(child) ? 1 : 0) + L" rect=" + Rect(rect) +
                    FontOf(child);
            Out(line);
        }
    }

    void Check(int id, bool wanted) {
        HWND control = Control(id);
        for (int attempt = 0; attempt < 3; ++attempt) {
            if ((SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) == wanted)
                return;
            // A click, not BM_SETCHECK, so that the dialog hears about it as from the user.
            SendMessageW(control, BM_CLICK, 0, 0);
        }
        throw Failure{L"check box " + std::to_wstring(id) + L" does not change"};
    }

    void Press(int id) {
        HWND window = Current();
        HWND control = GetDlgItem(window, id);
        if (control && !IsWindowEnabled(control))
            throw Failure{L"button " + std::to_wstring(id) + L" is disabled"};
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
    }

    void SetText(int id, const std::wstring& text) {
        SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    void Gone() {
        HWND window = current_;
        DWORD started = GetTickCount();
        while (window && IsWindow(window)) {
            if (GetTickCount() - started > static_cast<DWORD>(timeout_))
                throw Failure{L"the window stays open"};
            Sleep(50);
        }
        Out(L"gone");
    }

    void ListWindows() {
        struct Visit {
            static BOOL CALLBACK Window(HWND window, LPARAM param) {
                auto* self = reinterpret_cast<Driver*>(param);
                if (IsWindowVisible(window) && ClassOf(window) == L"#32770" &&
                    self->OwnedByProgram(window))
                    Out(L"open " + Describe(window));
                return TRUE;
            }
        };
        EnumWindows(Visit::Window, reinterpret_cast<LPARAM>(this));
    }

    void Exit() {
        if (!process_)
            throw Failure{L"no program was launched"};
        if (WaitForSingleObject(process_, static_cast<DWORD>(timeout_)) != WAIT_OBJECT_0) {
            ListWindows();
            throw Failure{L"the program did not end"};
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        Out(L"exit " + std::to_wstring(code));
    }

    static HWND FindOtherWindow(const std::wstring& caption) {
        struct Search {
            const std::wstring* caption;
            HWND found;
        } search{&caption, nullptr};
        struct Visit {
            static BOOL CALLBACK Window(HWND window, LPARAM param) {
                auto* s = reinterpret_cast<Search*>(param);
                if (!IsWindowVisible(window) || ClassOf(window) == L"#32770" ||
                    WindowText(window).find(*s->caption) == std::wstring::npos)
                    return TRUE;
                s->found = window;
                return FALSE;
            }
        };
        EnumWindows(Visit::Window, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    void WaitOtherWindow(const std::wstring& caption) {
        DWORD started = GetTickCount();
        while (!(other_ = FindOtherWindow(caption))) {
            if (GetTickCount() - started > static_cast<DWORD>(timeout_))
                throw Failure{L"no window " + Quote(caption) + L" appeared"};
            Sleep(50);
        }
        Out(L"found class=" + ClassOf(other_) + L" caption=" + Quote(WindowText(other_)));
    }

    void CloseOtherWindow() {
        if (!other_ || !IsWindow(other_))
            throw Failure{L"no window to close"};
        PostMessageW(other_, WM_CLOSE, 0, 0);
        DWORD started = GetTickCount();
        while (IsWindow(other_)) {
            if (GetTickCount() - started > static_cast<DWORD>(timeout_))
                throw Failure{L"the window does not close"};
            Sleep(50);
        }
        Out(L"closed");
    }

    void NoOtherWindow(const std::wstring& caption, int milliseconds) {
        DWORD started = GetTickCount();
        do {
            if (HWND window = FindOtherWindow(caption)) {
                other_ = window;
                throw Failure{L"unexpected window class=" + ClassOf(window) + L" caption=" +
                              Quote(WindowText(window))};
            }
            Sleep(50);
        } while (GetTickCount() - started < static_cast<DWORD>(milliseconds));
        Out(L"no window " + Quote(caption));
    }

    void Capture(std::wstring file) {
        if (!file.empty() && file[0] == L'/')
            file = L"Z:" + file; // a Unix path, through Wine's root drive
        RECT rect = {};
        GetWindowRect(Current(), &rect);
        int width = rect.right - rect.left;
        int height = rect.bottom - rect.top;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
        DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
        header.bfSize = header.bfOffBits + imageSize;
        bool saved = false;
        HANDLE out =
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = WriteFile(out, &header, sizeof(header), &written, nullptr) &&
                    WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                    WriteFile(out, bits, imageSize, &written, nullptr);
            CloseHandle(out);
        }
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        if (!saved)
            throw Failure{L"cannot write " + file};
        Out(L"captured " + Quote(file) + L" " + std::to_wstring(width) + L"x" +
            std::to_wstring(height));
    }

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND current_ = nullptr;
    HWND other_ = nullptr;
    int timeout_ = 20000;
};

std::vector<std::wstring> ReadScript(const std::wstring& name) {
    FILE* file = _wfopen(name.c_str(), L"rb");
    if (!file)
        throw Failure{L"cannot read " + name};
    std::string bytes;
    char block[4096];
    size_t got = 0;
    while ((got = fread(block, 1, sizeof(block), file)) > 0)
        bytes.append(block, got);
    fclose(file);
    int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        size);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Driver driver;
    try {
        std::vector<std::wstring> commands;
        for (int i = 1; i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--script" && i + 1 < argc) {
                std::vector<std::wstring> lines = ReadScript(argv[++i]);
                commands.insert(commands.end(), lines.begin(), lines.end());
            } else {
                commands.push_back(argv[i]);
            }
        }
        for (const std::wstring& command : commands)
            driver.Run(command);
    } catch (const Failure& failure) {
        Out(L"error " + failure.what);
        return 2;
    }
    return 0;
}
