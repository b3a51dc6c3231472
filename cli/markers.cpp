#include "markers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <span>
#include <system_error>

#include "aiff_info.hpp"
#include "brindle_core.h"
#include "byte_cursor.h"
#include "data_file.hpp"
#include "resource_fork.hpp"
#include "script_lexer.hpp"
#include "script_runner.hpp"

namespace maxhost {
namespace {

constexpr const char *kClass = "brindle~";
constexpr const char *kBox = "markers";
constexpr std::array<fileservices::FourCC, 4> kSoundTypes = {bytes::fourcc("AIFF"), bytes::fourcc("AIFC"),
                                                             bytes::fourcc("WAVE"), bytes::fourcc("Sd2f")};

// What one open sent, and what it printed.
struct Read {
    std::optional<int32_t> count;
    std::vector<std::pair<std::string, t_atom>> lists;  // name, time
    std::vector<std::string> console;
};

std::string console_text(const headless::ConsoleLine &l) {
    switch (l.kind) {
    case headless::ConsoleLine::Error: return "error: " + l.text;
    case headless::ConsoleLine::Alert: return "alert: " + l.text;
    case headless::ConsoleLine::Host: return l.text;
    default: return {};
    }
}

// Errors, alerts and host lines; posts (the banner) are not faults.
void take_console(headless::Host &host, std::vector<std::string> &to) {
    for (const auto &l : host.console)
        if (l.kind != headless::ConsoleLine::Post) to.push_back(console_text(l));
    host.console.clear();
}

Read read_once(headless::Host &host, headless::Box *b, const std::string &file, int32_t mode) {
    host.messages.clear();
    host.console.clear();
    host.event(b, {{headless::sym_atom("mode"), headless::long_atom(mode)},
                   {headless::sym_atom("open"), headless::sym_atom(file.c_str())}});
    Read r;
    for (const auto &m : host.messages) {
        if (m.box != kBox) continue;
        const std::string_view sel = m.selector ? m.selector->s_name : "";
        if (m.outlet == 1 && sel == "int" && m.atoms.size() == 1 && m.atoms[0].a_type == A_LONG && !r.count) {
            r.count = m.atoms[0].a_w.w_long;
        } else if (m.outlet == 0 && sel == "list" && m.atoms.size() == 2 && m.atoms[0].a_type == A_SYM &&
                   m.atoms[0].a_w.w_sym && m.atoms[1].a_type == (mode == 0 ? A_FLOAT : A_LONG)) {
            r.lists.emplace_back(m.atoms[0].a_w.w_sym->s_name, m.atoms[1]);
        } else {
            r.console.push_back("maxhost: unexpected message " + format_message(m));
        }
    }
    host.messages.clear();
    take_console(host, r.console);
    return r;
}

bool is_regular_file(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The file a name stands for when it is of none of the four types, found
// in the order the host searches.
std::optional<std::pair<std::string, std::string>> find_any(const std::string &name,
                                                            const fileservices::SearchPath &search) {
    if (name.empty() || name.size() > fileservices::kMaxNameChars) return std::nullopt;
    const auto slash = name.rfind('/');
    if (slash != std::string::npos) {
        std::string folder = slash == 0 ? "/" : name.substr(0, slash);
        std::string file = name.substr(slash + 1);
        if (file.empty() || !is_regular_file(fileservices::join(folder, file))) return std::nullopt;
        return std::pair{folder, file};
    }
    std::vector<std::string> folders = search.dirs;
    if (!search.script_dir.empty()) folders.push_back(search.script_dir);
    folders.push_back(".");
    for (const auto &f : folders)
        if (is_regular_file(fileservices::join(f, name))) return std::pair{f, name};
    return std::nullopt;
}

// True when the name stands for a folder where the host would look for the
// file.
bool names_folder(const std::string &name, const fileservices::SearchPath &search) {
    std::error_code ec;
    if (name.find('/') != std::string::npos) return std::filesystem::is_directory(name, ec);
    std::vector<std::string> folders = search.dirs;
    if (!search.script_dir.empty()) folders.push_back(search.script_dir);
    folders.push_back(".");
    for (const auto &f : folders)
        if (std::filesystem::is_directory(fileservices::join(f, name), ec)) return true;
    return false;
}

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

// --- brindle~'s own walks over the file ----------------------------------------
//
// The rate shown is the one brindle~'s readers work out, by the same code:
// AIFF and AIFC from the host's sndfile_info reader, WAVE from the header
// walk (the last format chunk it reaches), Sound Designer II from the text
// of STR  1001.  A file that states none (no format chunk, a text without a
// number) shows no rate, though brindle~ then divides by 0.

// Blocks as getbytes gives them, from the C heap; whatever a walk keeps is
// given back when the walk's owner goes.
struct HeapBlocks {
    std::map<char *, int32_t> held;

    brindle_memory memory() {
        return brindle_memory{
            this,
            [](void *c, int32_t size) -> char * {
                auto *p = static_cast<char *>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
                if (p) static_cast<HeapBlocks *>(c)->held[p] = size;
                return p;
            },
            [](void *c, char *p, int32_t) {
                static_cast<HeapBlocks *>(c)->held.erase(p);
                std::free(p);
            }};
    }
    HeapBlocks() = default;
    HeapBlocks(const HeapBlocks &) = delete;
    HeapBlocks &operator=(const HeapBlocks &) = delete;
    ~HeapBlocks() {
        for (auto &[p, size] : held) std::free(p);
    }
};

// The open file as brindle~'s header walk reads it through sysfile_read and
// sysfile_setpos.
short stream_read(void *ctx, int64_t *count, void *buf) {
    const int64_t want = *count;
    if (want < 0) return 1;
    const int64_t got = static_cast<fileservices::DataFile *>(ctx)->read(
        std::span(static_cast<uint8_t *>(buf), static_cast<std::size_t>(want)));
    *count = got < 0 ? 0 : got;
    return got == want ? 0 : 1;
}

short stream_skip(void *ctx, int64_t offset) {
    return static_cast<fileservices::DataFile *>(ctx)->set_pos(fileservices::DataFile::From::Mark, offset)
               ? 0
               : 1;
}

void ignore_count(void *, int32_t) {}
void ignore_marker(void *, const char *, brindle_time) {}
void ignore_orphan(void *, uint32_t) {}
// The walks run for their rate and their log; the box sends the markers.
const brindle_sink kNoOutput{nullptr, ignore_count, ignore_marker, ignore_orphan};

void log_line(void *ctx, const char *text) { static_cast<std::vector<std::string> *>(ctx)->push_back(text); }

brindle_bytes as_bytes(std::span<const uint8_t> s) { return brindle_bytes{s.data(), s.size()}; }

std::optional<int32_t> wave_rate(const std::string &path, const brindle_log *log) {
    auto file = fileservices::DataFile::open_read(path);
    // The open steps over the RIFF header; a file too short for it has no
    // chunk to walk.
    if (!file || !file->set_pos(fileservices::DataFile::From::Start, 12)) return std::nullopt;
    HeapBlocks blocks;
    int32_t rate = 0;
    bool stated = false;
    t_dynMemory cue{nullptr, 0}, list{nullptr, 0}, smpl{nullptr, 0};
    const auto end =
        brindle_wave_header_walk(brindle_stream{file.get(), stream_read, stream_skip}, blocks.memory(),
                                 brindle_wave_data{&rate, &cue, &list, &smpl, &stated}, log);
    if (log && end == BRINDLE_WALK_END_OF_FILE) {
        auto held = [](const t_dynMemory &d) {
            return d.size > 0 ? brindle_bytes{reinterpret_cast<const uint8_t *>(d.ptr),
                                              static_cast<std::size_t>(d.size)}
                              : brindle_bytes{nullptr, 0};
        };
        brindle_wave_build(held(cue), held(list), held(smpl), rate, blocks.memory(), kNoOutput, log);
    }
    if (!stated) return std::nullopt;
    return rate;
}

// A resource of the file's fork, as the Resource Manager would hand it out.
std::optional<std::span<const uint8_t>> resource(const std::vector<uint8_t> &fork,
                                                 const std::vector<fileservices::ResourceEntry> &entries,
                                                 uint32_t type, int16_t id) {
    for (const fileservices::ResourceEntry &e : entries)
        if (e.type == type && e.id == id)
            return std::span<const uint8_t>(fork).subspan(e.data_offset, e.data_size);
    return std::nullopt;
}

std::optional<int32_t> sd2_rate(const std::string &folder, const std::string &name, const brindle_log *log) {
    std::vector<uint8_t> fork;
    if (fileservices::read_resource_fork(folder, name, fork) != fileservices::kResOk) return std::nullopt;
    std::vector<fileservices::ResourceEntry> entries;
    if (fileservices::parse_resource_fork(fork, entries) != fileservices::kResOk) return std::nullopt;
    const auto text = resource(fork, entries, bytes::fourcc("STR "), 1001);
    if (!text) return std::nullopt;
    const auto rate = brindle_sd2_stated_rate(as_bytes(*text), log);
    if (log)
        if (const auto sdml = resource(fork, entries, bytes::fourcc("sdML"), 1000))
            brindle_sd2_walk(as_bytes(*sdml), rate.value_or(0), kNoOutput, log);
    return rate;
}

const char *aiff_status_text(fileservices::AiffStatus s) {
    switch (s) {
    case fileservices::AiffStatus::NotAiff: return "no FORM header of type AIFF or AIFC";
    case fileservices::AiffStatus::Malformed:
        return "no COMM chunk, a short one, or a chunk past the end of the file";
    case fileservices::AiffStatus::BadRate: return "a rate that is not finite or does not fit 32 bits";
    case fileservices::AiffStatus::MarkersTooLarge: return "a MARK chunk bigger than a block (32767 bytes)";
    case fileservices::AiffStatus::Unreadable: return "the file could not be read";
    case fileservices::AiffStatus::Ok: break;
    }
    return "";
}

std::optional<int32_t> stated_rate(const std::string &folder, const std::string &name, uint32_t type,
                                   const brindle_log *log) {
    if (type == bytes::fourcc("AIFF") || type == bytes::fourcc("AIFC")) {
        fileservices::AiffInfo info;
        // brindle~ walks only what sndfile_info hands it: nothing of a
        // file it refuses.
        if (const auto status = fileservices::read_aiff_info(fileservices::join(folder, name), info);
            status != fileservices::AiffStatus::Ok) {
            brindle_note(log, "sndfile_info refuses the file: %s; no markers", aiff_status_text(status));
            return std::nullopt;
        }
        const int32_t peak = 0;
        if (log) brindle_aiff_walk(as_bytes(info.marker_chunk), info.sample_rate, &peak, kNoOutput, log);
        return info.sample_rate;
    }
    if (type == bytes::fourcc("WAVE")) return wave_rate(fileservices::join(folder, name), log);
    if (type == bytes::fourcc("Sd2f")) return sd2_rate(folder, name, log);
    return std::nullopt;
}

}  // namespace

MarkerReport read_markers(headless::Host &host, const fileservices::SearchPath &search,
                          const std::string &file, bool peak, bool verbose) {
    MarkerReport report;
    report.file = file;
    report.verbose = verbose;
    const brindle_log log{&report.log, log_line};

    std::vector<std::string> own;
    if (auto found = fileservices::locate(file, search, kSoundTypes)) {
        report.type = found->type;
        report.sound_file = true;
        report.sample_rate = stated_rate(found->folder, found->name, found->type, verbose ? &log : nullptr);
    } else if (auto other = find_any(file, search)) {
        if (fileservices::FourCC t = fileservices::file_type(other->first, other->second)) report.type = t;
        own.push_back("maxhost: not an AIFF, AIFC, WAVE or Sound Designer II file");
    } else if (file.size() > fileservices::kMaxNameChars) {
        own.push_back("maxhost: not found (a name holds at most 255 bytes)");
    } else if (names_folder(file, search)) {
        own.push_back("maxhost: a folder, not a sound file");
    } else {
        own.push_back("maxhost: no such file");
    }

    host.messages.clear();
    host.console.clear();
    headless::Box *b = nullptr;
    if (host.load_class(kClass)) {
        host.console.clear();  // the banner
        b = host.new_box(kBox, kClass);
    }
    if (!b) {
        take_console(host, report.errors);
        report.errors.push_back("maxhost: cannot make a " + std::string(kClass) + " box");
        report.errors.insert(report.errors.end(), own.begin(), own.end());
        return report;
    }
    take_console(host, report.errors);
    if (peak) host.event(b, {{headless::sym_atom("peak"), headless::long_atom(1)}});
    take_console(host, report.errors);
    host.messages.clear();

    const Read ms = read_once(host, b, file, 0);
    const Read frames = read_once(host, b, file, 1);
    host.free_box(b);

    report.count = ms.count;
    report.errors.insert(report.errors.end(), ms.console.begin(), ms.console.end());
    if (frames.console != ms.console)
        report.errors.insert(report.errors.end(), frames.console.begin(), frames.console.end());
    take_console(host, report.errors);  // what the box still held when freed

    const std::size_t n = std::min(ms.lists.size(), frames.lists.size());
    bool agree = ms.count == frames.count && ms.lists.size() == frames.lists.size();
    for (std::size_t k = 0; k < n; ++k) {
        agree = agree && ms.lists[k].first == frames.lists[k].first;
        report.markers.push_back(
            {ms.lists[k].first, ms.lists[k].second.a_w.w_float, frames.lists[k].second.a_w.w_long});
    }
    if (!agree) own.push_back("maxhost: the reads in milliseconds and in frames disagree");
    if (report.sound_file && report.errors.empty() && own.empty() && report.count.value_or(0) == 0 &&
        report.markers.empty())
        own.push_back("maxhost: no markers");
    report.errors.insert(report.errors.end(), own.begin(), own.end());
    return report;
}

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
