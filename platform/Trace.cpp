#include "platform/Trace.h"

#include "platform/Clock.h"

#include <array>
#include <charconv>
#include <cmath>

namespace zibbles::platform {

std::shared_ptr<Trace> Trace::toFile(const std::string& path, std::shared_ptr<Clock> clock) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<Trace>(new Trace(file, std::move(clock)));
}

std::shared_ptr<Trace> Trace::inMemory(std::shared_ptr<Clock> clock) {
    return std::shared_ptr<Trace>(new Trace(nullptr, std::move(clock)));
}

Trace::Trace(std::FILE* file, std::shared_ptr<Clock> clock)
    : file_(file), clock_(std::move(clock)) {}

Trace::~Trace() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void Trace::record(std::string_view event, std::string_view fieldsJson) {
    std::string line = "{\"t\":";
    line += number(clock_ ? clock_->now() : 0.0);
    line += ",\"event\":";
    line += quote(event);
    if (!fieldsJson.empty()) {
        line += ',';
        line += fieldsJson;
    }
    line += '}';
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        line += '\n';
        std::fputs(line.c_str(), file_);
        // Flushed per line, so a host that dies still leaves every event it saw.
        std::fflush(file_);
    } else {
        memory_.push_back(std::move(line));
    }
}

std::vector<std::string> Trace::lines() const {
    std::lock_guard lock(mutex_);
    return memory_;
}

std::uint64_t Trace::nextLayerId() {
    std::lock_guard lock(mutex_);
    return ++layerIds_;
}

std::string Trace::quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                constexpr char digits[] = "0123456789abcdef";
                out += "\\u00";
                out += digits[byte >> 4];
                out += digits[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string Trace::number(double value) {
    // JSON has no NaN or infinity.
    if (!std::isfinite(value)) {
        return "null";
    }
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

} // namespace zibbles::platform
