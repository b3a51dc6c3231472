// maxhost markers: the reports as a table, error and log lines, and JSON,
// with every byte that must not reach a terminal as it is escaped.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "markers.hpp"
#include "script_lexer.hpp"
#include "script_runner.hpp"

namespace maxhost {
namespace {

// Milliseconds in a table: three decimals (a thousandth of a millisecond is
// finer than a sample at any usual rate), or nan and inf as they are.
std::string table_ms(float ms) {
    if (!std::isfinite(ms)) return format_float(ms);
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ms));
    return text;
}

std::string type_text(uint32_t type) {
    std::string s(4, ' ');
    for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(type >> (24 - 8 * k));
    return s;
}

void append_padded(std::string &out, const std::string &text, std::size_t width, bool right) {
    if (right) out.append(width - std::min(width, text.size()), ' ');
    out += text;
    if (!right) out.append(width - std::min(width, text.size()), ' ');
}

void append_hex(std::string &out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// Text from a file (or naming one) for a terminal: every byte that must
// not reach it as it is, as \xHH.
std::string terminal_text(std::string_view s) {
    if (all_shown(s)) return std::string(s);
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (const std::size_t n = shown_length(s, i)) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            append_hex(out, static_cast<unsigned char>(s[i++]));
        }
    }
    return out;
}

void append_u00(std::string &out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

std::string json_optional(const std::optional<int32_t> &v) { return v ? std::to_string(*v) : "null"; }

}  // namespace

std::string format_marker_table(const MarkerReport &r) {
    if (!r.sound_file) return {};
    std::string out = terminal_text(r.file) + ": " + type_text(r.type.value_or(0)) + ", ";
    out += r.sample_rate ? std::to_string(*r.sample_rate) + " Hz" : std::string("rate unknown");
    out += r.count ? ", count " + std::to_string(*r.count) : std::string(", no count");
    out += '\n';
    if (r.markers.empty()) return out;

    std::vector<std::array<std::string, 3>> rows = {{"name", "ms", "frames"}};
    for (const auto &m : r.markers)
        rows.push_back({format_symbol(m.name), table_ms(m.ms), format_int(m.frames)});
    std::array<std::size_t, 3> width{};
    for (const auto &row : rows)
        for (int c = 0; c < 3; ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto &row : rows) {
        out += "  ";
        append_padded(out, row[0], width[0], false);
        out += "  ";
        append_padded(out, row[1], width[1], true);
        out += "  ";
        append_padded(out, row[2], width[2], true);
        out += '\n';
    }
    return out;
}

std::string format_marker_errors(const MarkerReport &r) {
    const std::string file = terminal_text(r.file);
    std::string out;
    for (const auto &e : r.errors) {
        if (e.starts_with("maxhost: "))
            out += "maxhost: " + file + ": " + terminal_text(e.substr(9)) + '\n';
        else
            out += file + ": " + terminal_text(e) + '\n';
    }
    return out;
}

std::string format_marker_log(const MarkerReport &r) {
    const std::string file = terminal_text(r.file);
    std::string out;
    for (const auto &l : r.log) out += file + ": log: " + terminal_text(l) + '\n';
    return out;
}

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8_length(s, i);
            if (n == 0) {
                append_u00(out, c);
                ++i;
                continue;
            }
            // U+0080 to U+009F are controls too, to some terminals: escaped
            // as the code point, which is their second byte.
            if (shown_length(s, i) == 0)
                append_u00(out, static_cast<unsigned char>(s[i + 1]));
            else
                out.append(s.substr(i, n));
            i += n;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f)
                append_u00(out, c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string json_number(float v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : "null";
}

std::string format_marker_json(const std::vector<MarkerReport> &reports) {
    std::string out = "[\n";
    for (std::size_t k = 0; k < reports.size(); ++k) {
        const MarkerReport &r = reports[k];
        out += "{\"file\": " + json_string(r.file);
        out += ", \"type\": " + (r.type ? json_string(type_text(*r.type)) : std::string("null"));
        out += ", \"sampleRate\": " + json_optional(r.sample_rate);
        out += ", \"count\": " + json_optional(r.count);
        out += ", \"markers\": [";
        for (std::size_t m = 0; m < r.markers.size(); ++m) {
            if (m) out += ", ";
            out += "{\"name\": " + json_string(r.markers[m].name);
            out += ", \"ms\": " + json_number(r.markers[m].ms);
            out += ", \"frames\": " + std::to_string(r.markers[m].frames) + "}";
        }
        out += "], \"errors\": [";
        for (std::size_t e = 0; e < r.errors.size(); ++e) {
            if (e) out += ", ";
            out += json_string(r.errors[e]);
        }
        out += "]";
        if (r.verbose) {
            out += ", \"log\": [";
            for (std::size_t l = 0; l < r.log.size(); ++l) out += (l ? ", " : "") + json_string(r.log[l]);
            out += "]";
        }
        out += "}";
        out += k + 1 < reports.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

}  // namespace maxhost
