#pragma once

// zibbles --idle: the saver program hands over to the resident launcher, zibbles-idle, with exec.
// The launcher is a program of its own so that while it waits it holds none of the saver's
// libraries (SDL, curl and TLS, the decoders): those cost more resident memory than the whole
// launcher does.

#include <string>
#include <vector>

namespace zibbles::host {

// The saver's arguments from the launcher's: every one but --idle and its value, and
// --fullscreen when it is not there already.
std::vector<std::string> saverArguments(const std::vector<std::string>& launcherArguments);

// Where zibbles-idle lies: beside this program (the build tree), else where the install puts
// it relative to the hack's folder.
std::string idleLauncherPath(const std::string& selfPath);

// The arguments zibbles-idle takes: the saver's path, the seconds, "quiet" or "status", then
// the saver's own arguments.
std::vector<std::string> idleLauncherArguments(const std::string& saverPath, double idleSeconds,
                                               bool quiet,
                                               const std::vector<std::string>& launcherArguments);

// Execs zibbles-idle; gives kExitFailed, after a line on stderr, only when that fails.
int startIdleLauncher(double idleSeconds, bool quiet,
                      const std::vector<std::string>& launcherArguments);

} // namespace zibbles::host
