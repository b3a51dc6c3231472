// maxhost markers: the markers of sound files as brindle~ reports them,
// read through a brindle~ box in the headless host, with the file's type
// and stated rate beside them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host.hpp"
#include "search_path.hpp"

namespace maxhost {

struct MarkerRow {
    std::string name;
    float ms;        // from the read in mode 0
    int32_t frames;  // from the read in mode 1
};

struct MarkerReport {
    std::string file;  // as named on the command line
    // The type code the host's file services give the file; nothing when
    // it was not found or they give none.
    std::optional<uint32_t> type;
    // True when the file is one of the four types brindle~ opens.
    bool sound_file = false;
    std::optional<int32_t> sample_rate;  // as the file states it
    std::optional<int32_t> count;        // as brindle~ sent it
    std::vector<MarkerRow> markers;
    // Console lines as "run" prints them ("error: ...", "alert: ...",
    // "host: ..."), then maxhost's own ("maxhost: ...").
    std::vector<std::string> errors;
    // With verbose: where and why brindle~'s walks over the file stopped
    // early or passed something over, one line each.
    bool verbose = false;
    std::vector<std::string> log;

    bool failed() const { return !sound_file || !errors.empty(); }
};

// Reads one file through a new brindle~ box, which is freed again: "peak 1"
// first when peak is set, then "mode 0, open FILE" and "mode 1, open FILE",
// each one event with its deferred open.  search must be the path the host
// searches, so that the type reported is that of the file brindle~ opened.
// The host's message and console logs are consumed.  verbose also walks
// the file with brindle~'s readers, the log on, into the report's log.
MarkerReport read_markers(headless::Host &host, const fileservices::SearchPath &search,
                          const std::string &file, bool peak, bool verbose = false);

// The report as a header line and a table, for standard output; empty for
// a file brindle~ could not open by type.  These three escape as \xHH each
// byte that must not reach a terminal as it is (controls, U+0080 to U+009F,
// invalid UTF-8), names quoted as scripts quote symbols.
std::string format_marker_table(const MarkerReport &r);
// The report's error lines for standard error, each naming the file.
std::string format_marker_errors(const MarkerReport &r);
// The report's log lines for standard error, as "FILE: log: TEXT".
std::string format_marker_log(const MarkerReport &r);
// One JSON array, one object per report on a line of its own; a verbose
// report has its log as one more member, "log".
std::string format_marker_json(const std::vector<MarkerReport> &reports);

// A JSON string of arbitrary bytes: quote, backslash and control characters
// (U+0080 to U+009F too) escaped, other valid UTF-8 passed through, any
// other byte as \u00XX (the byte read as Latin-1).
std::string json_string(std::string_view bytes);
// The shortest text that reads back as v; null when v is not finite.
std::string json_number(float v);

}  // namespace maxhost
