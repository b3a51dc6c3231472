// maxhost: runs plug-ins in the headless host from the command line.
//
//   maxhost [OPTIONS] COMMAND ARGS...
//
// Global options may stand anywhere before "--"; the first other word is
// the command, and the rest belong to it, options the command knows
// included, unless they come after "--".  Each command is a function from
// its words to an exit status, so a new one is one more entry in kCommands.

#include <unistd.h>

#include <csignal>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "help_text.hpp"
#include "host.hpp"
#include "markers.hpp"
#include "script_runner.hpp"
#include "soundfile.hpp"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct GlobalOptions {
    std::vector<std::string> plugin_dirs;
    std::vector<std::string> search_dirs;
    bool quiet = false;
};

// A command's word, and whether it came after "--" (never an option).
struct Word {
    std::string text;
    bool literal = false;
    bool option() const { return !literal && text.size() > 1 && text[0] == '-'; }
};
using Words = std::vector<Word>;

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

// The signal that asks a run to stop (SIGINT, SIGTERM or SIGHUP); 0 while
// none has come.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
    if (stop_signal == 0) {
        stop_signal = sig;
        return;
    }
    // A second one while the files are being finished ends the process at
    // once (when the handler returns and the signal is no longer blocked).
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Long renders are stopped with Ctrl-C: the run stops at the next vector
// and finishes its files first.  No SA_RESTART, so that a script read from
// standard input is not left waiting for a line.  A signal ignored when
// maxhost started (nohup, a background job) stays ignored.
void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
}

// Ends the process by the signal that stopped it, so that its parent sees
// that (a shell loop over maxhost run stops on Ctrl-C).
int die_by(int sig) {
    std::cout.flush();
    std::cerr.flush();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return 128 + sig;
}

void apply_options(headless::Host &host, const GlobalOptions &options) {
    // The host searches the folder added last first; the first folder given
    // should win, as on any command line.
    for (auto it = options.plugin_dirs.rbegin(); it != options.plugin_dirs.rend(); ++it)
        host.add_plugin_dir(absolute_path(*it));
    for (const auto &d : options.search_dirs) host.add_search_dir(absolute_path(d));
}

int command_run(const GlobalOptions &options, const Words &args) {
    std::optional<maxhost::SampleFormat> format = maxhost::SampleFormat::Float32;
    std::string record_all;
    int max_errors = maxhost::ScriptRunner::kMaxErrors;
    std::vector<std::string> scripts;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const Word &a = args[k];
        if (!a.option()) {
            scripts.push_back(a.text);
        } else if (a.text == "--bits" || a.text == "--record-all" || a.text == "--max-errors") {
            if (k + 1 >= args.size()) return usage_error(a.text + " needs a value");
            const std::string &v = args[++k].text;
            if (a.text == "--bits") {
                format = maxhost::parse_sample_format(v);
                if (!format) return usage_error("--bits takes 16, 24 or float, not " + v);
            } else if (a.text == "--max-errors") {
                auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), max_errors);
                if (v.empty() || v[0] == '-' || ec != std::errc() || end != v.data() + v.size())
                    return usage_error("--max-errors takes a count of lines, 0 or more, not " + v);
            } else {
                record_all = v;
            }
        } else {
            return usage_error("unknown option " + a.text);
        }
    }
    if (scripts.size() != 1) return usage_error("run takes one script");
    const std::string &name = scripts[0];
    if (!record_all.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(record_all, ec))
            return usage_error("--record-all " + record_all + ": not a folder");
    }

    std::ifstream file;
    std::istream *script = &std::cin;
    std::string dir;
    if (name == "-") {
        dir = absolute_path(".");
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(name, ec))
            return usage_error("cannot open script " + name + ": it is a folder");
        file.open(name, std::ios::binary);
        if (!file) return usage_error("cannot open script " + name + ": " + std::strerror(errno));
        dir = std::filesystem::path(absolute_path(name)).parent_path().string();
        script = &file;
    }

    catch_stop_signals();
    headless::Host host;
    apply_options(host, options);
    host.set_script_dir(dir);
    maxhost::ScriptRunner runner(host, std::cout, std::cerr);
    runner.set_progress(isatty(STDERR_FILENO) == 1);
    runner.set_quiet(options.quiet);
    runner.set_sample_format(*format);
    runner.set_stop_flag(&stop_signal);
    runner.set_max_errors(max_errors);
    if (!record_all.empty()) runner.set_record_all(absolute_path(record_all));
    const int status = name == "-" ? runner.run(*script, "<stdin>", maxhost::ScriptRunner::Reading::ByLine)
                                   : runner.run(*script, name);
    if (stop_signal != 0) return die_by(stop_signal);
    return status;
}

int command_markers(const GlobalOptions &options, const Words &args) {
    bool peak = false;
    bool json = false;
    bool verbose = false;
    std::vector<std::string> files;
    for (const Word &a : args) {
        if (!a.option()) {
            files.push_back(a.text);
        } else if (a.text == "--peak") {
            peak = true;
        } else if (a.text == "--json") {
            json = true;
        } else if (a.text == "--verbose") {
            verbose = true;
        } else {
            return usage_error("unknown option " + a.text + " (write a file named so after --, or as ./" +
                               a.text + ")");
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
        maxhost::MarkerReport r = maxhost::read_markers(host, search, f, peak, verbose);
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
        std::cerr << maxhost::format_marker_log(r) << maxhost::format_marker_errors(r) << std::flush;
    }
    if (json) std::cout << maxhost::format_marker_json(reports) << std::flush;
    return all_read ? kExitOk : kExitFailed;
}

int command_help(const GlobalOptions &, const Words &args) {
    if (args.empty()) {
        std::cout << maxhost::help_all() << std::flush;
        return kExitOk;
    }
    if (args.size() != 1) return usage_error("help takes one topic");
    auto text = maxhost::help_topic(args[0].text);
    if (!text)
        return usage_error("no help on " + args[0].text +
                           " (topics: " + std::string(maxhost::help_topic_names()) + ")");
    std::cout << *text << std::flush;
    return kExitOk;
}

struct Command {
    std::string_view name;
    int (*run)(const GlobalOptions &, const Words &);
};

constexpr Command kCommands[] = {
    {"run", command_run},
    {"markers", command_markers},
    {"help", command_help},
};

int maxhost_main(int argc, char **argv) {
    GlobalOptions options;
    Words words;
    bool options_done = false;
    for (int k = 1; k < argc; ++k) {
        std::string_view a = argv[k];
        if (options_done || a.size() < 2 || a[0] != '-' || a == "-") {
            words.push_back({std::string(a), options_done});
            continue;
        }
        if (a == "--") {
            options_done = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << maxhost::help_all() << std::flush;
            return kExitOk;
        } else if (a == "--version") {
            std::cout << "maxhost " MAXHOST_VERSION "\n" << std::flush;
            return kExitOk;
        } else if (a == "--quiet" || a == "-q") {
            options.quiet = true;
        } else if (a == "--plugins" || a == "--path") {
            if (k + 1 >= argc) return usage_error(std::string(a) + " needs a folder");
            (a == "--plugins" ? options.plugin_dirs : options.search_dirs).emplace_back(argv[++k]);
        } else if (a.starts_with("--plugins=")) {
            options.plugin_dirs.emplace_back(a.substr(10));
        } else if (a.starts_with("--path=")) {
            options.search_dirs.emplace_back(a.substr(7));
        } else if (!words.empty()) {
            // Left for the command, which may have options of its own.
            words.push_back({std::string(a), false});
        } else {
            return usage_error("unknown option " + std::string(a));
        }
    }
    if (words.empty()) return usage_error("no command given");
    for (const Command &c : kCommands)
        if (c.name == words[0].text) return c.run(options, {words.begin() + 1, words.end()});
    return usage_error("unknown command " + words[0].text);
}

}  // namespace

int main(int argc, char **argv) {
    // A file-size limit (ulimit -f) makes a write fail with "File too
    // large", which is reported, rather than killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return maxhost_main(argc, argv);
    } catch (const std::exception &e) {
        std::cerr << "maxhost: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "maxhost: unexpected failure" << std::endl;
    }
    return kExitFailed;
}
