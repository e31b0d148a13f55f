#include "hosts/InspectBatch.h"

#include "hosts/InspectChain.h"
#include "hosts/InspectJson.h"
#include "hosts/InspectLineReader.h"
#include "platform/HttpSession.h"

#include <cstring>

namespace zibbles::inspect {

namespace {

constexpr std::size_t maximumLine = platform::HttpSession::maxBodyBytes;

Inspection tooLong() {
    return Inspection{{},
                      Decoded<Pixels>::failure(DecodeStage::RpcResponse,
                                               "the line is longer than the 16 MiB an answer "
                                               "may hold")};
}

} // namespace

BatchResult inspectBatch(int fd, OutputBuffer& out) {
    LineReader reader(fd, maximumLine);
    BatchResult result;
    std::string_view line;
    for (;;) {
        const LineReader::Next next = reader.next(line);
        if (next == LineReader::Next::End)
            return result;
        if (next == LineReader::Next::ReadError) {
            result.readError = std::strerror(reader.readError());
            return result;
        }
        const Inspection inspection =
            next == LineReader::Next::Line ? inspect(line, InputKinds::RpcOrHexOnly) : tooLong();
        if (!inspection.pixels)
            result.allDecoded = false;
        out.pending() += inspectionJson(inspection);
        out.pending() += '\n';
        out.flushIfFull();
    }
}

} // namespace zibbles::inspect
