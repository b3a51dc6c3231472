// maxhost: runs plug-ins in the headless host from the command line.
//
//   maxhost [OPTIONS] COMMAND ARGS...
//
// Global options may stand anywhere before "--"; the first other word is
// the command, and the rest belong to it, options the command knows
// included.  Each command is a function from
// its words to an exit status, so a new one is one more entry in kCommands.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host.hpp"
#include "markers.hpp"
#include "script_runner.hpp"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kHelp[] = R"(usage: maxhost [OPTIONS] COMMAND ARGS...

Runs Max plug-ins (tessel~, brindle~, ...) in a headless host.

Commands:
  run SCRIPT      run a patch script, one event per line ("-" reads standard
                  input)
  markers [--peak] [--json] FILE...
                  read the markers of sound files through brindle~ and show
                  each file's type, rate and markers (see MARKERS below)

Options (anywhere before "--"):
  --plugins DIR   look for plug-ins (CLASS.so) in DIR; may be repeated.  The
                  folders are searched in the order given, then the build's
                  own plug-in folder.
  --path DIR      add DIR to the host's file search path; may be repeated.
  --help          show this text

Exit status of run: 0 when every script line ran, 1 when one or more failed (the
run goes on after a failed line), 2 for bad usage or an unreadable script.
A line fails when the script is wrong or a box could not be created; an
object that prints an error does not fail the line.

SCRIPT SYNTAX
  Atoms are separated by blanks and tabs.  A line whose first non-blank
  character is # is a comment; a # later in a line is an ordinary word, so
  comments cannot follow commands on their line.  A word is
    an int    when it is [+-]?[0-9]+ and fits 32 bits:   440  -3  +7
    a float   when it is a decimal number with a point
              or an exponent:                             440.  .5  -1e3
    a symbol  otherwise:                                  foo  1.2.3  inf
  A float beyond the float range reads as inf, -inf or 0.
  "..." is always a symbol, with the escapes \" \\ \n and \xHH; "7" is the
  symbol 7, not the int.  A word cannot contain a quote.  An unquoted ","
  separates the messages of one send, as in a Max message box.

COMMANDS IN A SCRIPT
  new NAME CLASS ARGS...   create box NAME as typing "CLASS ARGS" into Max.
                           A refused box is reported and the line fails.
  send NAME MSG [, MSG]... deliver the messages to the left inlet as one
                           event; deferred work runs after the last one.
                           A message starting with a number is a list (or
                           int/float alone); otherwise its first word is
                           the selector.
  signal NAME INLET VALUE|FILE|none
                           feed signal inlet INLET (0 = left) a constant,
                           the first channel of a sound file (zeros after
                           its end; the file's samples are used as they
                           are, without resampling), or nothing.  A fed
                           inlet counts as connected.  To use a file named
                           "none", write ./none.
  dsp SR VS                switch audio on: sample rate SR, vector size VS
  dsp off                  switch audio off
  run SECONDS              run the smallest whole number of vectors that
                           covers SECONDS x SR samples (taken exactly from
                           the decimal digits written: run 0.1 at 48000/64
                           is 75 vectors).  Progress is shown on standard
                           error when it is a terminal.
  ticks N                  run exactly N vectors
  write NAME FILE          write everything NAME's signal outlets recorded
                           since it was created to FILE as a 32-bit float
                           WAV file at the current sample rate, channel j
                           from outlet j (0 = left)
  disable NAME 0|1         enable (0) or disable (1) a signal box
  free NAME                delete the box
  path DIR                 add DIR to the host's file search path
  dialog FILE              the next file dialog chooses FILE
  dialog cancel            the next file dialog is cancelled (for a file
                           named "cancel", write ./cancel)

  Relative FILE and DIR names are taken from the current directory, as for
  any command-line tool, not from the script's folder.  The script's folder
  is on the host's search path, so objects that look files up by name (such
  as brindle~ open NAME) find files beside the script.

OUTPUT
  Every outlet message goes to standard output as
      NAME OUTLET: SELECTOR ATOMS...
  with OUTLET counted from 0 at the left.  Ints are decimal; floats are the
  shortest text that reads back as the same float, with a "." added when it
  would read as an int (1000., -0., 1e+20, nan, inf, -inf); symbols are
  bare when that reads back the same, else quoted as above.

  Console lines go to standard error: posts as they are, errors after
  "error: ", alerts after "alert: ", host lines ("host: ...") as they are.
  Script errors name the line: maxhost: script.txt:12: unknown box "foo".
  Both streams are flushed line by line, so 2>&1 keeps their order.

MARKERS
  maxhost markers [--peak] [--json] FILE...

  Each FILE is read twice by a new brindle~ box, made without a file name
  so that an open sends the markers at once: the events "mode 0, open FILE"
  and "mode 1, open FILE", each ending with the deferred open.  --peak
  sends "peak 1" first, so AIFF and AIFC names lose one trailing blank.
  FILE goes to open as written: a name with a slash names that file (a
  relative one from the current directory), a bare name is looked for
  along the host's search path (--path folders, then the current
  directory).  brindle~ takes names of at most 255 bytes.  A file whose
  name starts with "-" is written ./-NAME.

  For each file:
    type         AIFF, AIFC, WAVE or Sd2f, decided as the host decides when
                 brindle~ looks the file up: by the file's header, else by
                 the Finder type of an AppleDouble sidecar, else by the
                 extension (.aif .aiff .aifc .wav .sd2)
    sample rate  as the file states it, read from the file rather than
                 worked back from the times, so it is exact: AIFF and AIFC
                 the COMM chunk (what sndfile_info gives brindle~), WAVE
                 the fmt chunk (the last, if several), Sound Designer II
                 the text of resource STR  1001 with its fraction cut off.
                 Unknown when the file states none (a WAVE without a fmt
                 chunk: brindle~ then divides by 0, and the times are nan
                 or inf).
    count        the count brindle~ sent on its right outlet: the number
                 the file announces, which may differ from the number of
                 markers listed
    markers      one row per list from the left outlet: the name, the time
                 in milliseconds from the mode 0 read and in sample frames
                 from the mode 1 read

  Text output: "FILE: TYPE, RATE Hz, count N" and a table; names are
  written as symbols are in scripts, milliseconds as floats are in outlet
  messages.  Console errors go to standard error as "FILE: error: TEXT",
  maxhost's own as "maxhost: FILE: TEXT"; posts (brindle~'s banner) are
  not shown.  When the mode 1 read prints the same console lines as the
  mode 0 read, they are shown once.

  --json: standard output is one JSON array, one object per file, each on
  a line of its own, and nothing goes to standard error:
    {"file": STRING, "type": STRING|null, "sampleRate": INT|null,
     "count": INT|null, "markers": [{"name": STRING, "ms": NUMBER|null,
     "frames": INT}, ...], "errors": [STRING, ...]}
  null means unknown, not sent, or (for ms) not finite.  errors holds the
  console lines as run prints them ("error: ...", "alert: ...",
  "host: ..."), then maxhost's own ("maxhost: not found").  Names are bytes
  from the file: in JSON strings ", \ and control characters are escaped,
  valid UTF-8 passes through, and any other byte is written \u00XX, the
  byte taken as a Latin-1 character, so no byte is lost.

  Exit status of markers: 0 when every file was read and no console error,
  alert or host line was printed; 1 when a file was not found, was none of
  the four types, or printed one; 2 for bad usage.
)";

struct GlobalOptions {
    std::vector<std::string> plugin_dirs;
    std::vector<std::string> search_dirs;
};

int usage_error(const std::string &message) {
    std::cerr << "maxhost: " << message << "\n"
              << "Try 'maxhost --help' for more information." << std::endl;
    return kExitUsage;
}

std::string absolute_path(const std::string &p) {
    std::error_code ec;
    std::filesystem::path a = std::filesystem::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

void apply_options(headless::Host &host, const GlobalOptions &options) {
    // The host searches the folder added last first; the first folder given
    // should win, as on any command line.
    for (auto it = options.plugin_dirs.rbegin(); it != options.plugin_dirs.rend(); ++it)
        host.add_plugin_dir(absolute_path(*it));
    for (const auto &d : options.search_dirs) host.add_search_dir(absolute_path(d));
}

int command_run(const GlobalOptions &options, const std::vector<std::string> &args) {
    for (const auto &a : args)
        if (a.size() > 1 && a[0] == '-') return usage_error("unknown option " + a);
    if (args.size() != 1) return usage_error("run takes one script");
    const std::string &name = args[0];

    std::ifstream file;
    std::istream *script = &std::cin;
    std::string dir;
    if (name == "-") {
        dir = absolute_path(".");
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(name, ec))
            return usage_error("cannot open script " + name + ": it is a folder");
        file.open(name);
        if (!file) return usage_error("cannot open script " + name + ": " + std::strerror(errno));
        dir = std::filesystem::path(absolute_path(name)).parent_path().string();
        script = &file;
    }

    headless::Host host;
    apply_options(host, options);
    host.set_script_dir(dir);
    maxhost::ScriptRunner runner(host, std::cout, std::cerr);
    runner.set_progress(isatty(STDERR_FILENO) == 1);
    return runner.run(*script, name == "-" ? "<stdin>" : name);
}

int command_markers(const GlobalOptions &options, const std::vector<std::string> &args) {
    bool peak = false;
    bool json = false;
    std::vector<std::string> files;
    for (const auto &a : args) {
        if (a == "--peak") {
            peak = true;
        } else if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a + " (write a file named so as ./" + a + ")");
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return usage_error("markers takes one or more sound files");

    headless::Host host;
    apply_options(host, options);
    fileservices::SearchPath search;
    for (const auto &d : options.search_dirs) search.dirs.push_back(absolute_path(d));

    bool all_read = true;
    bool first_table = true;
    std::vector<maxhost::MarkerReport> reports;
    for (const auto &f : files) {
        maxhost::MarkerReport r = maxhost::read_markers(host, search, f, peak);
        if (r.failed()) all_read = false;
        if (json) {
            reports.push_back(std::move(r));
            continue;
        }
        const std::string table = maxhost::format_marker_table(r);
        if (!table.empty()) {
            std::cout << (first_table ? "" : "\n") << table << std::flush;
            first_table = false;
        }
        std::cerr << maxhost::format_marker_errors(r) << std::flush;
    }
    if (json) std::cout << maxhost::format_marker_json(reports) << std::flush;
    return all_read ? kExitOk : kExitFailed;
}

struct Command {
    std::string_view name;
    int (*run)(const GlobalOptions &, const std::vector<std::string> &);
};

constexpr Command kCommands[] = {
    {"run", command_run},
    {"markers", command_markers},
};

int maxhost_main(int argc, char **argv) {
    GlobalOptions options;
    std::vector<std::string> words;
    bool options_done = false;
    for (int k = 1; k < argc; ++k) {
        std::string_view a = argv[k];
        if (options_done || a.size() < 2 || a[0] != '-' || a == "-") {
            words.emplace_back(a);
            continue;
        }
        if (a == "--") {
            options_done = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << kHelp << std::flush;
            return kExitOk;
        } else if (a == "--plugins" || a == "--path") {
            if (k + 1 >= argc) return usage_error(std::string(a) + " needs a folder");
            (a == "--plugins" ? options.plugin_dirs : options.search_dirs).emplace_back(argv[++k]);
        } else if (a.starts_with("--plugins=")) {
            options.plugin_dirs.emplace_back(a.substr(10));
        } else if (a.starts_with("--path=")) {
            options.search_dirs.emplace_back(a.substr(7));
        } else if (!words.empty()) {
            // Left for the command, which may have options of its own.
            words.emplace_back(a);
        } else {
            return usage_error("unknown option " + std::string(a));
        }
    }
    if (words.empty()) return usage_error("no command given");
    for (const Command &c : kCommands)
        if (c.name == words[0]) return c.run(options, {words.begin() + 1, words.end()});
    return usage_error("unknown command " + words[0]);
}

}  // namespace

int main(int argc, char **argv) {
    try {
        return maxhost_main(argc, argv);
    } catch (const std::exception &e) {
        std::cerr << "maxhost: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "maxhost: unexpected failure" << std::endl;
    }
    return kExitFailed;
}
