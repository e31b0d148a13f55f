#pragma once

// The saver that the idle launcher shows: a child process, zibbles with --fullscreen, so that the
// resident launcher stays small (it loads none of the saver's libraries) and a saver that crashes
// takes only itself down. The child ends with its parent.

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace zibbles::host {

// Starts the saver program at path with the arguments, with the signal mask restored to
// childMask. The pid, or -1 with error set.
pid_t startSaver(const std::string& path, const std::vector<std::string>& arguments,
                 const sigset_t& childMask, std::string& error);

// A wait status as people read it: "exit status 1", "signal 11 (Segmentation fault)".
std::string describeEnd(int waitStatus);

// The saver ended as asked: exit status 0 (input ended it), or a quit signal from outside.
bool endedAsAsked(int waitStatus);

} // namespace zibbles::host
