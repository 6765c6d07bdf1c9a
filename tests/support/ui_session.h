// Runs the UI driver (tests/driver) from a test and reads what it saw.
// The driver's path comes from the build (OZU_UI_DRIVER, a Unix path that
// Wine reaches through its root drive Z:).
#pragma once

#include <windows.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/text.h"

namespace ozu::test {

struct ControlSeen {
    std::string className;
    std::wstring text;
    int checked = -1;
    bool enabled = false;
    RECT rect{};
};

struct WindowSeen {
    std::wstring caption;
    bool rtl = false;
    RECT rect{};
    int clientWidth = 0;
    int clientHeight = 0;
    std::map<int, ControlSeen> controls; // filled by "dump" only
};

struct DriverResult {
    std::string output;              // everything the driver printed
    int driverExit = -1;             // 0 when every command succeeded
    int programExit = -1;            // the program's exit code, when "exit" ran
    std::vector<WindowSeen> windows; // every "window" line, in order
    std::vector<WindowSeen> dumps;   // only the windows of "dump"
    std::vector<std::string> errors; // "error ..." lines
};

namespace detail {

inline std::string Field(const std::string& line, const std::string& name) {
    std::string key = " " + name + "=";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    if (line[at] != '"') {
        size_t end = line.find(' ', at);
        return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    std::string value;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            char c = line[++i];
            value += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            value += line[i];
        }
    }
    return value;
}

inline RECT ParseRect(const std::string& text) {
    RECT r{};
    sscanf(text.c_str(), "%ld,%ld,%ld,%ld", &r.left, &r.top, &r.right, &r.bottom);
    return r;
}

} // namespace detail

inline void ParseDriverOutput(DriverResult& result) {
    std::istringstream lines(result.output);
    std::string line;
    bool inDump = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("window ", 0) == 0) {
            WindowSeen window;
            window.caption = FromUtf8(detail::Field(line, "caption"));
            window.rtl = detail::Field(line, "rtl") == "1";
            window.rect = detail::ParseRect(detail::Field(line, "rect"));
            sscanf(detail::Field(line, "client").c_str(), "%d,%d", &window.clientWidth,
                   &window.clientHeight);
            result.windows.push_back(window);
            inDump = false;
        } else if (line.rfind("control ", 0) == 0 && !result.windows.empty()) {
            if (!inDump) {
                result.dumps.push_back(result.windows.back());
                inDump = true;
            }
            ControlSeen control;
            control.className = detail::Field(line, "class");
            control.text = FromUtf8(detail::Field(line, "text"));
            std::string checked = detail::Field(line, "checked");
            control.checked = checked.empty() ? -1 : std::stoi(checked);
            control.enabled = detail::Field(line, "enabled") == "1";
            control.rect = detail::ParseRect(detail::Field(line, "rect"));
            int id = std::stoi(detail::Field(line, "id"));
            result.dumps.back().controls[id] = control;
        } else if (line.rfind("exit ", 0) == 0) {
            result.programExit = std::stoi(line.substr(5));
            inDump = false;
        } else if (line.rfind("error ", 0) == 0) {
            result.errors.push_back(line.substr(6));
            inDump = false;
        } else {
            inDump = false;
        }
    }
}

// The commands in a script file for the driver's --script, one per line.
inline std::wstring WriteDriverScript(const std::vector<std::wstring>& commands) {
    static int counter = 0;
    const std::wstring script = TempPath() + L"ui_driver_" +
                                std::to_wstring(GetCurrentProcessId()) + L"_" +
                                std::to_wstring(++counter) + L".txt";
    std::string text;
    for (const std::wstring& command : commands)
        text += Utf8(command) + "\n";
    MakeFile(script, text);
    return script;
}

// One run of the driver. Start() returns at once (the caller may then show a
// dialog of its own that the driver drives, see "attach"); Finish() waits.
class UiDriver {
public:
    UiDriver() = default;
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;
    ~UiDriver() {
        if (process_) {
            TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        if (!scriptFile_.empty())
            DeleteFileW(scriptFile_.c_str());
        if (!outputFile_.empty())
            DeleteFileW(outputFile_.c_str());
    }

    // workingFolder (may be empty) becomes the current folder of the driver and so
    // of the program it launches.
    void Start(const std::vector<std::wstring>& commands, const std::wstring& workingFolder = L"") {
        scriptFile_ = WriteDriverScript(commands);
        outputFile_ = scriptFile_ + L".out";

        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE output = CreateFileW(outputFile_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::wstring commandLine =
            L"\"" + WinePath(OZU_UI_DRIVER) + L"\" --script \"" + scriptFile_ + L"\"";
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(),
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        CloseHandle(output);
    }

    DriverResult Finish(DWORD timeoutMs = 120000) {
        DriverResult result;
        if (!process_) {
            result.errors.push_back("the driver did not start");
            return result;
        }
        if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(process_, 98);
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        CloseHandle(process_);
        process_ = nullptr;
        result.driverExit = static_cast<int>(code);
        FILE* file = _wfopen(outputFile_.c_str(), L"rb");
        if (file) {
            char block[4096];
            size_t got = 0;
            while ((got = fread(block, 1, sizeof(block), file)) > 0)
                result.output.append(block, got);
            fclose(file);
        }
        ParseDriverOutput(result);
        return result;
    }

private:
    HANDLE process_ = nullptr;
    std::wstring scriptFile_;
    std::wstring outputFile_;
};

inline DriverResult RunDriver(const std::vector<std::wstring>& commands,
                              const std::wstring& workingFolder = L"") {
    UiDriver driver;
    driver.Start(commands, workingFolder);
    return driver.Finish();
}

// One run of the driver with its output read through a pipe: the call returns
// only when every process that inherited the pipe has ended, so after an
// uninstall it has also waited for the self-removal's command interpreter.
// The driver's exit code goes to *exitCode when given.
inline std::string DriverOutput(const std::vector<std::wstring>& commands,
                                int* exitCode = nullptr) {
    const std::wstring script = WriteDriverScript(commands);
    std::string output;
    const int code = RunAndWait(
        L"\"" + WinePath(OZU_UI_DRIVER) + L"\" --script \"" + script + L"\"", 120000, &output);
    if (exitCode != nullptr)
        *exitCode = code;
    DeleteFileW(script.c_str());
    return output;
}

} // namespace ozu::test
