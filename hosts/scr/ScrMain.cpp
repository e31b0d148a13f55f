// zibbles.scr: the saver on Windows, after the system's screen-saver conventions.
//
// Flow of control:
//   main
//   ├── useParentConsole           a console to write to, when started from one
//   ├── parseScrArguments          bad arguments → exit 2; --help, --version → exit 0
//   ├── /a                         nothing to change → exit 0
//   ├── /c[:HWND], no argument     the dialog, owned by HWND → exit 0; a handle that is not a
//   │                              window → exit 2
//   └── runScr (ScrRun.cpp)
//       ├── becomePerMonitorDpiAware   (the manifest says so too)
//       ├── makeWindows                /s: a topmost popup per monitor; /p HWND: a child
//       │                              filling HWND's client area (not a window → exit 2)
//       ├── makeEnvironment            monotonic clock, queue, random, WinHTTP session,
//       │                              trace, status lines to the debugger and standard error
//       ├── makeScreen (each window)   GDI presenter at the window's DPI,
//       │                              "ZibblesBounceView" (a preview for /p), --figure first
//       └── runScrLoop                 until an input, the window's end or the parent's → 0
#include "hosts/common/ExitCodes.h"
#include "hosts/common/ProcessSetup.h"
#include "hosts/common/VersionText.h"
#include "hosts/scr/ScrArguments.h"
#include "hosts/scr/ScrConfigure.h"
#include "hosts/scr/ScrConsole.h"
#include "hosts/scr/ScrRun.h"
#include "platform/win32/TextWin32.h"

#include <windows.h>

#include <shellapi.h>

namespace {

using namespace zibbles;
using namespace zibbles::host;

constexpr const char* kProgram = "zibbles";

int usageFailure(const std::string& message) {
    sayLine(kProgram, message);
    sayLine(kProgram, "try 'zibbles.scr --help'");
    return kExitUsage;
}

std::vector<std::string> commandLine() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; words && i < count; ++i)
        arguments.push_back(platform::utf8FromWide(words[i]));
    if (words)
        LocalFree(words);
    return arguments;
}

HWND windowOf(std::uintptr_t handle) {
    return reinterpret_cast<HWND>(handle);
}

int runMain() {
    useParentConsole();
    const ScrParse parse = parseScrArguments(commandLine());
    if (!parse.command)
        return usageFailure(parse.error);
    const ScrCommand& command = *parse.command;
    if (command.options.help) {
        sayText(scrUsageText("zibbles.scr"));
        return kExitOk;
    }
    if (command.options.version) {
        sayText(versionText(kProgram, BuildConstants::Shown));
        return kExitOk;
    }
    switch (command.mode) {
    case ScrMode::ChangePassword:
        return kExitOk; // only the systems of the 1990s asked a saver for a password
    case ScrMode::Configure:
        if (command.window && !IsWindow(windowOf(*command.window)))
            return usageFailure("the window handle is not a window");
        showAboutDialog(command.window ? windowOf(*command.window) : nullptr);
        return kExitOk;
    case ScrMode::FullScreen:
    case ScrMode::Preview:
        break;
    }
    return runScr(command);
}

} // namespace

int main() {
    return zibbles::host::runProgram(kProgram, [] { return runMain(); });
}
