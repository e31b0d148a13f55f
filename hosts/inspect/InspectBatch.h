#pragma once

// zibbles-inspect --batch: every input line decoded as it completes, one JSON line out per line.

#include "hosts/inspect/InspectOutput.h"

#include <string>

namespace zibbles::inspect {

struct BatchResult {
    bool allDecoded = true;
    std::string readError; // for people, when the input could not be read to its end
};

// Reads fd to its end. A line longer than an answer may be (the URL session's body cap) is
// answered with an error line and not kept.
BatchResult inspectBatch(int fd, OutputBuffer& out);

} // namespace zibbles::inspect
