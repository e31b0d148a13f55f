#include "hosts/InspectJson.h"

#include "Zibbles/ContentBounds.h"

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

void appendColor(std::string& out, const Color& color) {
    char text[10];
    const auto byte = [](double c) { return static_cast<unsigned>(std::lround(c * 255.0)); };
    std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", byte(color.red), byte(color.green),
                  byte(color.blue), byte(color.alpha));
    appendString(out, text);
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

std::string inspectionJson(const Inspection& inspection) {
    std::string out = "{\"stages\":[";
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
    return out;
}

} // namespace zibbles::inspect
