#include "hosts/saver/IdleLauncherStart.h"

#include "hosts/common/ExitCodes.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <sstream>

#ifndef ZIBBLES_IDLE_LAUNCHER_FROM_HACK
#define ZIBBLES_IDLE_LAUNCHER_FROM_HACK "../zibbles/zibbles-idle"
#endif

namespace zibbles::host {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string selfPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "";
}

} // namespace

std::vector<std::string> saverArguments(const std::vector<std::string>& launcherArguments) {
    std::vector<std::string> arguments;
    bool fullscreen = false;
    for (std::size_t i = 0; i < launcherArguments.size(); ++i) {
        const std::string& argument = launcherArguments[i];
        if (argument == "--idle") {
            ++i; // its value
            continue;
        }
        if (argument.rfind("--idle=", 0) == 0)
            continue;
        fullscreen = fullscreen || argument == "--fullscreen";
        arguments.push_back(argument);
    }
    if (!fullscreen)
        arguments.insert(arguments.begin(), "--fullscreen");
    return arguments;
}

std::string idleLauncherPath(const std::string& self) {
    const std::string beside = folderOf(self) + "/zibbles-idle";
    if (access(beside.c_str(), X_OK) == 0)
        return beside;
    return folderOf(self) + "/" + ZIBBLES_IDLE_LAUNCHER_FROM_HACK;
}

std::vector<std::string> idleLauncherArguments(const std::string& saverPath, double idleSeconds,
                                               bool quiet,
                                               const std::vector<std::string>& launcherArguments) {
    std::ostringstream seconds;
    seconds.precision(17);
    seconds << idleSeconds;
    std::vector<std::string> arguments{saverPath, seconds.str(), quiet ? "quiet" : "status"};
    for (const std::string& argument : saverArguments(launcherArguments))
        arguments.push_back(argument);
    return arguments;
}

int startIdleLauncher(double idleSeconds, bool quiet,
                      const std::vector<std::string>& launcherArguments) {
    const std::string self = selfPath();
    if (self.empty()) {
        std::cerr << "zibbles: cannot tell where this program lies: " << std::strerror(errno)
                  << "\n";
        return kExitFailed;
    }
    const std::string launcher = idleLauncherPath(self);
    const auto arguments = idleLauncherArguments(self, idleSeconds, quiet, launcherArguments);
    std::vector<char*> argv{const_cast<char*>("zibbles-idle")};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(launcher.c_str(), argv.data());
    std::cerr << "zibbles: cannot start the idle launcher " << launcher << ": "
              << std::strerror(errno) << "\n";
    return kExitFailed;
}

} // namespace zibbles::host
