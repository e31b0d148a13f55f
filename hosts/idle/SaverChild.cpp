#include "hosts/idle/SaverChild.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zibbles::host {

pid_t startSaver(const std::string& path, const std::vector<std::string>& arguments,
                 const sigset_t& childMask, std::string& error) {
    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("zibbles"));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start the saver: ") + std::strerror(errno);
        return -1;
    }
    if (pid == 0) {
        // A launcher that dies without a word (SIGKILL) takes its saver with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        sigprocmask(SIG_SETMASK, &childMask, nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

std::string describeEnd(int waitStatus) {
    if (WIFEXITED(waitStatus))
        return "exit status " + std::to_string(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus)) {
        const int signal = WTERMSIG(waitStatus);
        const char* name = strsignal(signal);
        return "signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
    }
    return "wait status " + std::to_string(waitStatus);
}

bool endedAsAsked(int waitStatus) {
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus) == 0;
    if (!WIFSIGNALED(waitStatus))
        return false;
    const int signal = WTERMSIG(waitStatus);
    return signal == SIGTERM || signal == SIGINT || signal == SIGHUP;
}

} // namespace zibbles::host
