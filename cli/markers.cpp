// maxhost markers: reading a file's markers through a brindle~ box in the
// headless host, once in milliseconds and once in frames, with the stated
// rate from brindle~'s own walks (marker_walks.cpp) and maxhost's own line
// when the name gave no sound file (marker_failure.cpp).
#include "markers.hpp"

#include <algorithm>
#include <array>

#include "byte_cursor.h"
#include "marker_failure.hpp"
#include "marker_walks.hpp"
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

void log_line(void *ctx, const char *text) { static_cast<std::vector<std::string> *>(ctx)->push_back(text); }

}  // namespace

MarkerReport read_markers(headless::Host &host, const fileservices::SearchPath &search,
                          const std::string &file, bool peak, bool verbose) {
    MarkerReport report;
    report.file = file;
    report.verbose = verbose;
    const brindle_log log{&report.log, log_line};

    // The one lookup, the host's: the box opens the same name along the
    // same search path.
    std::vector<std::string> own;
    const fileservices::Lookup lookup = fileservices::look_up(file, search, kSoundTypes);
    if (lookup.found) {
        report.type = lookup.found->type;
        report.sound_file = true;
        report.sample_rate = stated_rate(*lookup.found, verbose ? &log : nullptr);
    } else {
        if (lookup.other && lookup.other->type != 0) report.type = lookup.other->type;
        own.push_back(why_no_sound_file(file, lookup));
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

}  // namespace maxhost
