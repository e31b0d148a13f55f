// zibbles-preview-parent: stands in for the Screen Saver Settings dialog, whose preview pane is a
// window the saver draws a child into (/p HWND). It makes a 200 × 150 window at (40, 40), then
//   --spawn SCR OPTIONS...     runs "SCR /p HWND OPTIONS..." as the system would, waits until the
//                              saver's trace (--trace) says its view was made, prints that line,
//                              destroys the window and says how soon the saver ended after it;
//   --in-process OPTIONS...    runs the same preview in this process (Wine gives a child window
//                              of another process nothing to draw on), until the file named by
//                              --done appears; then destroys the window.
// Exit status 0 when the saver ended with 0 once its window went.

#include "hosts/scr/ScrArguments.h"
#include "hosts/scr/ScrRun.h"
#include "platform/win32/TextWin32.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace zibbles;
using Clock = std::chrono::steady_clock;

std::filesystem::path doneFile;

LRESULT CALLBACK parentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && !doneFile.empty() && std::filesystem::exists(doneFile)) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeParent() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = parentProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZibblesPreviewParent";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"Zibbles preview parent",
                           WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 200, 150, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

void pump(HANDLE handle, DWORD millis) {
    MsgWaitForMultipleObjects(handle ? 1 : 0, &handle, FALSE, millis, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::string lineWith(const std::string& path, const std::string& text) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        if (line.find(text) != std::string::npos)
            return line;
    return {};
}

std::string optionAfter(const std::vector<std::string>& arguments, const std::string& name) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == name)
            return arguments[i + 1];
    return {};
}

std::string quoted(const std::string& text) {
    std::string out(1, '"');
    out.append(text).push_back('"');
    return out;
}

int spawn(HWND parent, const std::string& scr, const std::vector<std::string>& options) {
    const std::string trace = optionAfter(options, "--trace");
    std::string command = quoted(scr);
    command.append(" /p ").append(std::to_string(reinterpret_cast<std::uintptr_t>(parent)));
    for (const std::string& option : options)
        command.append(" ").append(quoted(option));
    std::wstring wide = platform::wideFromUtf8(command);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("cannot start %s (error %lu)\n", scr.c_str(), GetLastError());
        return 1;
    }
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    std::string made;
    while ((made = lineWith(trace, "\"view.made\"")).empty() && Clock::now() < giveUp &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        pump(process.hProcess, 100);
    std::printf("%s\n", made.empty() ? "no view was made" : made.c_str());
    const auto destroyed = Clock::now();
    DestroyWindow(parent);
    const auto end = destroyed + std::chrono::seconds(10);
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && Clock::now() < end)
        pump(process.hProcess, 50);
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &status);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - destroyed).count();
    if (status == STILL_ACTIVE) {
        std::printf("the saver still runs %lld ms after its window went\n",
                    static_cast<long long>(millis));
        TerminateProcess(process.hProcess, 1);
    } else {
        std::printf("the saver ended %lld ms after its window went, with status %lu\n",
                    static_cast<long long>(millis), status);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return !made.empty() && status == 0 ? 0 : 1;
}

int inProcess(HWND parent, const std::vector<std::string>& options) {
    std::vector<std::string> arguments{"/p",
                                       std::to_string(reinterpret_cast<std::uintptr_t>(parent))};
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] == "--done" && i + 1 < options.size())
            doneFile = options[++i];
        else
            arguments.push_back(options[i]);
    }
    const host::ScrParse parse = host::parseScrArguments(arguments);
    if (!parse.command) {
        std::printf("%s\n", parse.error.c_str());
        return 2;
    }
    SetTimer(parent, 1, 100, nullptr);
    const int status = host::runScr(*parse.command);
    std::printf("the preview ended with status %d\n", status);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const HWND parent = makeParent();
    if (!parent) {
        std::printf("cannot make the parent window\n");
        return 1;
    }
    if (arguments.size() >= 2 && arguments[0] == "--spawn")
        return spawn(parent, arguments[1], {arguments.begin() + 2, arguments.end()});
    if (!arguments.empty() && arguments[0] == "--in-process")
        return inProcess(parent, {arguments.begin() + 1, arguments.end()});
    std::printf("usage: zibbles-preview-parent --spawn SCR OPTIONS... | --in-process OPTIONS...\n");
    return 2;
}
