#include "hosts/scr/ScrConsole.h"

#include "platform/win32/TextWin32.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

namespace zibbles::host {

namespace {

bool hasStream(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void toDebugger(std::string_view text) {
    OutputDebugStringW(platform::wideFromUtf8(text).c_str());
}

} // namespace

void useParentConsole() {
    if (hasStream(STD_ERROR_HANDLE) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // The C library's streams were set up before there was a console to write to.
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

void sayLine(std::string_view program, std::string_view text) {
    const std::string line = std::string(program) + ": " + std::string(text) + "\n";
    toDebugger(line);
    if (hasStream(STD_ERROR_HANDLE))
        std::cerr << line << std::flush;
}

void sayText(std::string_view text) {
    if (hasStream(STD_OUTPUT_HANDLE))
        std::cout << text << std::flush;
    else
        toDebugger(text);
}

StatusSink statusLinesForWindows(std::string program, bool quiet) {
    if (quiet)
        return {};
    return [program = std::move(program)](const std::string& line) { sayLine(program, line); };
}

} // namespace zibbles::host
