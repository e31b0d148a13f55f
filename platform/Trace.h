#pragma once

// What the platform sees, as JSON lines, for hosts and tests. The module never writes here.
// Implemented features:
//  [X] One JSON object per line: {"t": seconds, "event": "...", ...fields}.
//  [X] Any thread (the URL session's thread writes request events); lines never interleave.
//  [X] A file sink and an in-memory sink (tests read the lines back).
// Events written by the platform (see each service): "animation.added" {layer, key, from, to,
// duration}, "animation.ended" {layer, key, finished}, "contents.set" {layer, width, height,
// scale}, "request.sent" {token, url}, "request.finished" {token, outcome, status, bytes, ms}.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zibbles::platform {

class Clock;

class Trace {
  public:
    // Writes to a file (opened for writing, truncated). Gives nothing when it cannot be opened.
    static std::shared_ptr<Trace> toFile(const std::string& path, std::shared_ptr<Clock> clock);
    // Keeps the lines in memory.
    static std::shared_ptr<Trace> inMemory(std::shared_ptr<Clock> clock);
    ~Trace();

    // Any thread. fieldsJson is the object's other members, already JSON ("\"key\":1,\"a\":2"),
    // or empty.
    void record(std::string_view event, std::string_view fieldsJson);
    // Any thread. The lines so far (in-memory sink only; empty for a file).
    std::vector<std::string> lines() const;

    // Any thread. A small id, unique within this trace, for each layer that writes to it.
    std::uint64_t nextLayerId();

    // JSON string literal, quoted and escaped.
    static std::string quote(std::string_view text);
    // JSON number, the shortest text that reads back as the same double; null when not finite.
    static std::string number(double value);

  private:
    Trace(std::FILE* file, std::shared_ptr<Clock> clock);
    std::FILE* file_;
    std::shared_ptr<Clock> clock_;
    mutable std::mutex mutex_;
    std::vector<std::string> memory_;
    std::uint64_t layerIds_ = 0;
};

} // namespace zibbles::platform
