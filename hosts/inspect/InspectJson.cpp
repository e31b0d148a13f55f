#include "hosts/inspect/InspectJson.h"

#include "Zibbles/ContentBounds.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zibbles::inspect {

namespace {

// The shortest text that reads back as the same double; JSON has no infinity, so null.
void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    // Most coordinates are small whole numbers; below 10^5 their shortest form is the plain
    // integer (from 10^5 on, "1e+05" is shorter), and printing an integer costs far less. Minus
    // zero keeps its sign the slow way.
    if (value == std::trunc(value) && value >= 0.0 && value < 1e5 && !std::signbit(value)) {
        const auto whole = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int>(value));
        out.append(buffer, whole.ptr);
        return;
    }
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendString(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// "#rrggbbaa", written by hand: a formatted print per pixel was a tenth of a batch's time.
void appendColor(std::string& out, const Color& color) {
    static constexpr char digits[] = "0123456789abcdef";
    char text[11] = {'"', '#'};
    char* next = text + 2;
    for (const double component : {color.red, color.green, color.blue, color.alpha}) {
        const auto byte = static_cast<unsigned>(std::lround(component * 255.0)) & 0xffu;
        *next++ = digits[byte >> 4];
        *next++ = digits[byte & 15];
    }
    *next++ = '"';
    out.append(text, next);
}

void appendRect(std::string& out, double x, double y, double w, double h) {
    out += '[';
    appendNumber(out, x);
    out += ',';
    appendNumber(out, y);
    out += ',';
    appendNumber(out, w);
    out += ',';
    appendNumber(out, h);
}

void appendPixels(std::string& out, const Pixels& pixels) {
    out += "\"pixels\":[";
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const Pixel& p = pixels[i];
        if (i > 0)
            out += ',';
        appendRect(out, p.x, p.y, p.w, p.h);
        out += ',';
        appendColor(out, p.color);
        out += ']';
    }
    const Rect content = contentBounds(pixels);
    out += "],\"content\":";
    appendRect(out, content.x, content.y, content.width, content.height);
    out += ']';
}

} // namespace

void appendInspectionJson(std::string& out, const host::StagedDecoding& inspection) {
    // About 30 characters a pixel: one allocation instead of a string grown a dozen times over,
    // and none at all in a buffer that already has the room. (Doubling, as appending would: a
    // reserve of just enough for each answer would copy the whole buffer each time.)
    const std::size_t needed =
        out.size() + 64 + (inspection.pixels ? 32 * inspection.pixels.value->size() : 128);
    if (needed > out.capacity())
        out.reserve(std::max(needed, 2 * out.capacity()));
    out += "{\"stages\":[";
    for (std::size_t i = 0; i < inspection.stages.size(); ++i) {
        if (i > 0)
            out += ',';
        appendString(out, stageName(inspection.stages[i]));
    }
    out += "],";
    if (inspection.pixels) {
        appendPixels(out, *inspection.pixels.value);
    } else {
        out += "\"pixels\":null,\"stage\":";
        appendString(out, stageName(inspection.pixels.error.stage));
        out += ",\"error\":";
        appendString(out, inspection.pixels.error.message);
    }
    out += '}';
}

std::string inspectionJson(const host::StagedDecoding& inspection) {
    std::string out;
    appendInspectionJson(out, inspection);
    return out;
}

std::string jsonQuoted(std::string_view text) {
    std::string out;
    appendString(out, text);
    return out;
}

std::string failureBeforeStagesJson(std::string_view stage, std::string_view message) {
    std::string out = "{\"stages\":[],\"pixels\":null,\"stage\":";
    appendString(out, stage);
    out += ",\"error\":";
    appendString(out, message);
    out += '}';
    return out;
}

} // namespace zibbles::inspect
