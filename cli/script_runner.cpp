#include "script_runner.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

#include "soundfile.hpp"

namespace maxhost {
namespace {

t_atom to_atom(const Token &t) {
    switch (t.kind) {
    case Token::Int: return headless::long_atom(t.i);
    case Token::Float: return headless::float_atom(t.f);
    default: return headless::sym_atom(t.text.c_str());
    }
}

std::string describe(const Token &t) {
    switch (t.kind) {
    case Token::Int: return format_int(t.i);
    case Token::Float: return format_float(t.f);
    case Token::Comma: return ",";
    default: return format_symbol(t.text);
    }
}

// Script file names are taken from the current directory, like any other
// command-line argument; the host gets absolute paths so that its own idea
// of a "current" folder (the script's) cannot change their meaning.
std::string absolute_path(const std::string &p) {
    std::error_code ec;
    std::filesystem::path a = std::filesystem::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

// The name a file is known by before it exists: absolute, with "." and
// ".." and the links among the folders that exist resolved.
std::string normalised_path(const std::string &p) {
    std::error_code ec;
    std::filesystem::path a = std::filesystem::weakly_canonical(std::filesystem::absolute(p, ec), ec);
    return ec ? absolute_path(p) : a.string();
}

std::string signal_name(int sig) {
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(sig);
    }
}

}  // namespace

std::string format_atom(const t_atom &a) {
    switch (a.a_type) {
    case A_LONG: return format_int(a.a_w.w_long);
    case A_FLOAT: return format_float(a.a_w.w_float);
    case A_SYM: return format_symbol(a.a_w.w_sym ? a.a_w.w_sym->s_name : "");
    default: return "<atom type " + std::to_string(a.a_type) + ">";
    }
}

std::string format_message(const headless::OutletMessage &m) {
    std::string s = format_symbol(m.box);
    s += ' ';
    s += std::to_string(m.outlet);
    s += ": ";
    s += format_symbol(m.selector ? m.selector->s_name : "");
    for (const t_atom &a : m.atoms) {
        s += ' ';
        s += format_atom(a);
    }
    return s;
}

int64_t vectors_for_seconds(const std::string &seconds, double sr, int32_t vs) {
    Token::Kind kind = classify_word(seconds).kind;
    if (kind != Token::Int && kind != Token::Float) return -1;
    if (!(sr > 0.0) || vs < 1) return -1;
    // long double keeps ~19 significant digits, far more than the millionth
    // of a sample the boundary test allows for any run that fits in memory.
    long double s = std::strtold(seconds.c_str(), nullptr);
    if (!std::isfinite(s) || s < 0) return -1;
    long double samples = s * static_cast<long double>(sr);
    long double n = std::ceil((samples - 1e-6L) / static_cast<long double>(vs));
    if (n <= 0) return 0;
    if (n >= 9.0e18L) return -1;
    return static_cast<int64_t>(n);
}

std::optional<std::string> not_text(std::string_view bytes) {
    if (bytes.find('\0') != std::string_view::npos) return "it holds a NUL byte";
    std::size_t odd = 0;
    for (unsigned char ch : bytes) {
        const bool text = ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || (ch >= 0x20 && ch != 0x7F);
        if (!text) ++odd;
    }
    // A few stray control characters are a script with a typo; a file of
    // them is not a script.
    if (odd > 8 && odd * 10 > bytes.size()) return "most of it is not text";
    return std::nullopt;
}

ScriptRunner::ScriptRunner(headless::Host &host, std::ostream &out, std::ostream &err)
    : host_(host), out_(out), err_(err) {
    host_.on_message = [this](const headless::OutletMessage &m) { out_line(format_message(m)); };
    host_.on_console = [this](const headless::ConsoleLine &l) {
        if (quiet_ && l.banner) return;
        switch (l.kind) {
        case headless::ConsoleLine::Error: err_line("error: " + l.text); break;
        case headless::ConsoleLine::Alert: err_line("alert: " + l.text); break;
        default: err_line(l.text); break;
        }
    };
    host_.on_vector = [this](headless::Box *b, std::span<float *const> outlets, std::size_t n) {
        record_vector(b, outlets, n);
    };
}

ScriptRunner::~ScriptRunner() {
    host_.on_message = nullptr;
    host_.on_console = nullptr;
    host_.on_vector = nullptr;
}

void ScriptRunner::clear_progress() {
    if (!progress_shown_) return;
    err_ << "\r\033[K" << std::flush;
    progress_shown_ = false;
}

// Flushed line by line so that 2>&1 keeps the order things happened in.
void ScriptRunner::out_line(const std::string &text) {
    clear_progress();
    out_ << text << '\n' << std::flush;
}

void ScriptRunner::err_line(const std::string &text) {
    clear_progress();
    out_ << std::flush;
    err_ << text << '\n' << std::flush;
}

// Line 0 is none: what the end of the run does names the script alone.
bool ScriptRunner::fail(const std::string &message) {
    err_line("maxhost: " + script_name_ + (line_number_ > 0 ? ":" + std::to_string(line_number_) : "") +
             ": " + message);
    return false;
}

// Says, once, where the run stopped.
bool ScriptRunner::stop_requested() {
    if (!stop_flag_ || *stop_flag_ == 0) return false;
    if (!stop_reported_) {
        stop_reported_ = true;
        // A write to a stream that the signal cut short leaves the stream
        // failed; what the finishing says must still be said.
        out_.clear();
        err_.clear();
        fail("stopped by " + signal_name(*stop_flag_));
    }
    return true;
}

int ScriptRunner::run(std::istream &script, const std::string &name, Reading reading) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    const bool whole = reading == Reading::Whole;
    script_name_ = name;
    line_number_ = 0;
    // A script file is text, read whole before it runs: a binary file is
    // refused at once, and the boxes no write names are not kept in memory,
    // so that a long run streamed to files (record) does not grow.
    std::string text;
    std::vector<std::string_view> lines;
    if (whole) {
        text.assign(std::istreambuf_iterator<char>(script), std::istreambuf_iterator<char>());
        if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
        if (auto why = not_text(text)) {
            err_line("maxhost: " + name + ": not a script: " + *why);
            return 2;
        }
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view line(text.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines.push_back(line);
            start = end + 1;
        }
        for (std::string_view line : lines) {
            Tokens t;
            LexError ignored;
            if (lex_line(line, t, &ignored) && t.size() >= 2 && t[0].kind == Token::Symbol &&
                t[0].text == "write" && t[1].kind == Token::Symbol)
                written_.insert(t[1].text);
        }
        whole_script_ = true;
    }

    // By line, a line is read only once the one before it has run and its
    // output has gone out, so a program at the other end of a pipe can wait
    // for the replies to each line.
    std::string arrived;
    std::size_t taken = 0;
    bool nul_byte = false;
    auto next_line = [&](std::string_view &line) {
        if (whole) {
            if (taken == lines.size()) return false;
            line = lines[taken++];
            return true;
        }
        if (!std::getline(script, arrived)) return false;
        if (taken++ == 0 && arrived.starts_with(kByteOrderMark)) arrived.erase(0, kByteOrderMark.size());
        if (!arrived.empty() && arrived.back() == '\r') arrived.pop_back();
        nul_byte = arrived.find('\0') != std::string::npos;
        line = arrived;
        return !nul_byte;
    };

    int errors = 0;
    int64_t number = 0;
    for (std::string_view line; next_line(line);) {
        ++number;
        try {
            if (!run_line(line, name, number)) ++errors;
            // Each line is one event: what it deferred (a box created with a
            // file name opens it later, say) runs before the next line.
            host_.run_deferred();
        } catch (const std::exception &e) {
            // Typically out of memory (a huge vector size, a very long run
            // being recorded).  The host may be half way through a change,
            // so nothing more is asked of it but to free the boxes.
            fail(std::string("stopped: ") + e.what());
            ++errors;
            break;
        }
        // Everything has been printed through the callbacks; the host's own
        // logs would otherwise grow with every line of a long script.
        host_.messages.clear();
        host_.console.clear();
        if (max_errors_ > 0 && errors >= max_errors_) {
            // Lines still to come on a pipe are not known.
            err_line("maxhost: " + name + ": stopped after " + std::to_string(errors) +
                     " failed lines, at line " + std::to_string(number) +
                     (whole ? " of " + std::to_string(lines.size()) : std::string()));
            break;
        }
        if (stop_requested()) break;
    }
    if (nul_byte)
        err_line("maxhost: " + name + ":" + std::to_string(number + 1) +
                 ": not a script: it holds a NUL byte");
    // A signal may also end the input (a read from a pipe it cut short).
    if (stop_requested()) ++errors;
    errors += free_remaining();
    host_.messages.clear();
    host_.console.clear();
    if (nul_byte) return 2;
    return errors == 0 ? 0 : 1;
}

int ScriptRunner::free_remaining() {
    line_number_ = 0;
    int failed = 0;
    // In the order the boxes were made, so that what is said comes in an
    // order the script shows.
    for (const std::string &n : created_)
        if (headless::Box *b = host_.find(n); b && recordings_.count(b) && !stop_recording(b)) ++failed;
    while (!recordings_.empty())
        if (!stop_recording(recordings_.begin()->first)) ++failed;
    if (host_.dsp_running()) host_.dsp_off();
    for (const std::string &n : created_)
        if (headless::Box *b = host_.find(n)) host_.free_box(b);
    created_.clear();
    return failed;
}

bool ScriptRunner::run_line(std::string_view line, const std::string &name, int64_t number) {
    script_name_ = name;
    line_number_ = number;
    Tokens t;
    LexError lex_error;
    if (!lex_line(line, t, &lex_error))
        return fail("column " + std::to_string(lex_error.column) + ": " + lex_error.message);
    if (t.empty()) return true;
    if (t[0].kind != Token::Symbol) return fail("a line must begin with a command, not " + describe(t[0]));

    const std::string &cmd = t[0].text;
    if (cmd != "send") {
        for (const Token &tok : t)
            if (tok.kind == Token::Comma) return fail("',' separates messages only after send");
    }
    if (cmd == "new") return cmd_new(t);
    if (cmd == "send") return cmd_send(t);
    if (cmd == "signal") return cmd_signal(t);
    if (cmd == "dsp") return cmd_dsp(t);
    if (cmd == "run") return cmd_run(t);
    if (cmd == "ticks") return cmd_ticks(t);
    if (cmd == "write") return cmd_write(t);
    if (cmd == "disable") return cmd_disable(t);
    if (cmd == "free") return cmd_free(t);
    if (cmd == "path") return cmd_path(t);
    if (cmd == "dialog") return cmd_dialog(t);
    if (cmd == "record") return cmd_record(t);
    if (cmd == "stop") return cmd_stop(t);
    return fail("unknown command " + quote_symbol(cmd));
}

headless::Box *ScriptRunner::box_arg(const Tokens &t, std::size_t index) {
    if (index >= t.size() || t[index].kind != Token::Symbol) {
        fail(t[0].text + ": expected a box name");
        return nullptr;
    }
    headless::Box *b = host_.find(t[index].text);
    if (!b) fail("unknown box " + quote_symbol(t[index].text));
    return b;
}

bool ScriptRunner::cmd_new(const Tokens &t) {
    if (t.size() < 3 || t[1].kind != Token::Symbol || t[2].kind != Token::Symbol)
        return fail("usage: new NAME CLASS ARGS...");
    const std::string &name = t[1].text;
    const std::string &cls = t[2].text;
    if (host_.find(name)) return fail("box " + quote_symbol(name) + " already exists");
    std::vector<t_atom> args;
    for (std::size_t k = 3; k < t.size(); ++k) args.push_back(to_atom(t[k]));

    // The host says why on the console; the script error names the box.
    if (!host_.load_class(cls))
        return fail("box " + quote_symbol(name) + " not created: no class " + quote_symbol(cls));
    headless::Box *b = host_.new_box(name, cls, args);
    if (!b) return fail("box " + quote_symbol(name) + " not created: " + format_symbol(cls) + " refused it");
    created_.push_back(name);
    if (whole_script_ && !written_.count(name)) host_.keep_recording(b, false);
    if (!record_all_dir_.empty() && host_.signal_outlets(b) > 0)
        return start_recording(b, name, record_all_path(name));
    return true;
}

bool ScriptRunner::cmd_send(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    // As in a message box, empty messages between commas are skipped.
    std::vector<std::vector<t_atom>> messages(1);
    for (std::size_t k = 2; k < t.size(); ++k) {
        if (t[k].kind == Token::Comma) {
            if (!messages.back().empty()) messages.emplace_back();
        } else {
            messages.back().push_back(to_atom(t[k]));
        }
    }
    if (messages.back().empty()) messages.pop_back();
    if (messages.empty()) return fail("send: nothing to send");
    host_.event(b, messages);
    return true;
}

bool ScriptRunner::cmd_signal(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 4 || t[2].kind != Token::Int) return fail("usage: signal NAME INLET VALUE|FILE|none");
    int inlets = host_.signal_inlets(b);
    int32_t inlet = t[2].i;
    if (inlet < 0 || inlet >= inlets)
        return fail("box " + quote_symbol(t[1].text) + " has no signal inlet " + std::to_string(inlet) +
                    " (it has " + std::to_string(inlets) + ")");
    const Token &v = t[3];
    if (v.kind == Token::Int || v.kind == Token::Float) {
        host_.set_signal_constant(b, inlet, v.kind == Token::Int ? static_cast<float>(v.i) : v.f);
        return true;
    }
    if (v.text == "none") {
        host_.set_signal_none(b, inlet);
        return true;
    }
    std::vector<float> samples;
    std::string error;
    if (!read_first_channel(v.text, samples, &error))
        return fail("cannot read " + quote_symbol(v.text) + ": " + error);
    host_.set_signal_samples(b, inlet, std::move(samples));
    return true;
}

bool ScriptRunner::cmd_dsp(const Tokens &t) {
    if (t.size() == 2 && t[1].kind == Token::Symbol && t[1].text == "off") {
        host_.dsp_off();
        return true;
    }
    if (t.size() != 3 || t[1].kind == Token::Symbol || t[2].kind != Token::Int)
        return fail("usage: dsp SR VS, or dsp off");
    double sr = t[1].kind == Token::Int ? static_cast<double>(t[1].i) : t[1].f;
    if (!(sr > 0.0) || !std::isfinite(sr)) return fail("dsp: the sample rate must be above 0");
    if (t[2].i < 1) return fail("dsp: the vector size must be 1 or more");
    host_.dsp_on(static_cast<float>(sr), t[2].i);
    return true;
}

bool ScriptRunner::tick(int64_t vectors) {
    recording_failed_ = false;
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto shown = start;
    const bool show = progress_ && vectors >= 2;
    const int64_t step = std::max<int64_t>(1, vectors / 200);
    const double seconds = static_cast<double>(vectors) * host_.vector_size() / host_.sample_rate();
    // One vector at a time, so that a signal stops the run at the next one.
    for (int64_t done = 0; done < vectors;) {
        if (stop_requested()) return false;
        host_.tick(1);
        ++done;
        if (!show || done % step != 0) continue;
        auto now = clock::now();
        // Quick runs stay quiet; a slow one shows itself after half a second.
        if (done < vectors && now - start > std::chrono::milliseconds(500) &&
            (!progress_shown_ || now - shown > std::chrono::milliseconds(100))) {
            char text[128];
            std::snprintf(text, sizeof text, "\rmaxhost: run %.1f of %.1f s (%d%%)\033[K",
                          seconds * static_cast<double>(done) / static_cast<double>(vectors), seconds,
                          static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(vectors)));
            out_ << std::flush;
            err_ << text << std::flush;
            progress_shown_ = true;
            shown = now;
        }
    }
    clear_progress();
    // What failed has said so already.
    return !recording_failed_;
}

bool ScriptRunner::cmd_run(const Tokens &t) {
    if (t.size() != 2 || (t[1].kind != Token::Int && t[1].kind != Token::Float))
        return fail("usage: run SECONDS");
    if (!host_.dsp_running()) return fail("run: dsp is off (use dsp SR VS first)");
    int64_t n = vectors_for_seconds(t[1].text, host_.sample_rate(), host_.vector_size());
    if (n < 0) return fail("run: " + t[1].text + " is not a length in seconds");
    return tick(n);
}

bool ScriptRunner::cmd_ticks(const Tokens &t) {
    if (t.size() != 2 || t[1].kind != Token::Int || t[1].i < 0)
        return fail("usage: ticks N, with N 0 or more");
    if (!host_.dsp_running()) return fail("ticks: dsp is off (use dsp SR VS first)");
    return tick(t[1].i);
}

bool ScriptRunner::cmd_write(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 3 || t[2].kind != Token::Symbol) return fail("usage: write NAME FILE");
    const std::string &name = t[1].text;
    const std::string &path = t[2].text;
    const auto &recorded = host_.recorded(b);
    if (recorded.empty()) return fail("box " + quote_symbol(name) + " has no signal outlets to write");
    std::string error;
    if (!writable_name(path, format_, &error))
        return fail("cannot write " + quote_symbol(path) + ": " + error);
    // A box writes all it played each time, so it may replace its own
    // earlier write, and nothing else of this run's.
    const Claim *claim = claim_on(path);
    if (claim && !(claim->kind == Claim::Written && claim->box == name))
        return fail("cannot write " + quote_symbol(path) + ": " + claim_text(*claim));
    OutputFile file = OutputFile::create(path, &error);
    if (!file.valid()) return fail("cannot write " + quote_symbol(path) + ": " + error);
    if (!claim) add_claim(Claim::Written, name, path, file);
    auto writer = open_writer(std::move(file), path, static_cast<int>(recorded.size()), &error);
    const auto stop = [this] { return stop_requested(); };
    if (!writer || !write_sound(*writer, recorded, stop, &error))
        return fail("cannot write " + quote_symbol(path) + ": " + error);
    return !stop_reported_;
}

bool ScriptRunner::cmd_disable(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 3 || t[2].kind != Token::Int || (t[2].i != 0 && t[2].i != 1))
        return fail("usage: disable NAME 0|1");
    host_.set_disabled(b, t[2].i == 1);
    return true;
}

bool ScriptRunner::cmd_free(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 2) return fail("usage: free NAME");
    const bool finished = !recordings_.count(b) || stop_recording(b);
    host_.free_box(b);
    std::erase(created_, t[1].text);
    return finished;
}

bool ScriptRunner::cmd_path(const Tokens &t) {
    if (t.size() != 2 || t[1].kind != Token::Symbol) return fail("usage: path DIR");
    host_.add_search_dir(absolute_path(t[1].text));
    return true;
}

bool ScriptRunner::cmd_dialog(const Tokens &t) {
    if (t.size() != 2 || t[1].kind != Token::Symbol) return fail("usage: dialog FILE, or dialog cancel");
    if (t[1].text == "cancel")
        host_.set_dialog_answer(std::nullopt);
    else
        host_.set_dialog_answer(absolute_path(t[1].text));
    return true;
}

bool ScriptRunner::cmd_record(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 3 || t[2].kind != Token::Symbol) return fail("usage: record NAME FILE");
    return start_recording(b, t[1].text, t[2].text);
}

bool ScriptRunner::cmd_stop(const Tokens &t) {
    headless::Box *b = box_arg(t, 1);
    if (!b) return false;
    if (t.size() != 2) return fail("usage: stop NAME");
    if (!recordings_.count(b)) return fail("box " + quote_symbol(t[1].text) + " is not being recorded");
    return stop_recording(b);
}

bool ScriptRunner::start_recording(headless::Box *b, const std::string &name, const std::string &path) {
    if (host_.signal_outlets(b) < 1)
        return fail("box " + quote_symbol(name) + " has no signal outlets to record");
    if (recordings_.count(b))
        return fail("box " + quote_symbol(name) + " is being recorded to " +
                    quote_symbol(recordings_[b].path) + " already (stop it first)");
    std::string error;
    if (!writable_name(path, format_, &error))
        return fail("cannot record to " + quote_symbol(path) + ": " + error);
    if (const Claim *c = claim_on(path))
        return fail("cannot record to " + quote_symbol(path) + ": " + claim_text(*c));
    // Made at once, so that a file that cannot be made fails this line.
    OutputFile file = OutputFile::create(path, &error);
    if (!file.valid()) return fail("cannot record to " + quote_symbol(path) + ": " + error);
    const std::size_t claim = add_claim(Claim::Recording, name, path, file);
    recordings_[b] = Recording{name, path, std::move(file), nullptr, claim};
    return true;
}

std::unique_ptr<SoundWriter> ScriptRunner::open_writer(OutputFile file, const std::string &path, int channels,
                                                       std::string *error) {
    auto writer = SoundWriter::open(std::move(file), path, channels, host_.sample_rate(), format_, error);
    if (writer && size_field_max_ != SoundWriter::kSizeFieldMax) writer->set_size_field_max(size_field_max_);
    return writer;
}

bool ScriptRunner::stop_recording(headless::Box *b) {
    auto it = recordings_.find(b);
    if (it == recordings_.end()) return true;
    Recording r = std::move(it->second);
    recordings_.erase(it);
    claims_[r.claim].kind = Claim::Recorded;
    std::string error;
    // A recording that never saw a vector is an empty file of the current
    // rate, as a write of nothing would be.
    if (!r.writer) {
        r.writer = open_writer(std::move(r.file), r.path, host_.signal_outlets(b), &error);
        if (!r.writer) return fail("cannot record to " + quote_symbol(r.path) + ": " + error);
    }
    if (!r.writer->close(&error)) return fail("cannot finish " + quote_symbol(r.path) + ": " + error);
    return true;
}

void ScriptRunner::record_vector(headless::Box *b, std::span<float *const> outlets, std::size_t n) {
    auto it = recordings_.find(b);
    if (it == recordings_.end()) return;
    Recording &r = it->second;
    std::string error;
    if (r.writer && r.writer->sample_rate() != host_.sample_rate()) {
        error = "the sample rate changed";
    } else if (!r.writer) {
        r.writer = open_writer(std::move(r.file), r.path, static_cast<int>(outlets.size()), &error);
    }
    if (r.writer && error.empty() && r.writer->write(outlets.data(), n, &error)) return;
    // The file is finished where it stopped (whole, up to a size limit) and
    // the run goes on without it; the line that ran the vectors fails.
    if (r.writer) r.writer->close(nullptr);
    claims_[r.claim].kind = Claim::Recorded;
    fail("recording of " + quote_symbol(r.name) + " to " + quote_symbol(r.path) + " stopped: " + error);
    recording_failed_ = true;
    recordings_.erase(it);
}

const ScriptRunner::Claim *ScriptRunner::claim_on(const std::string &path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        const std::pair<std::uint64_t, std::uint64_t> identity(st.st_dev, st.st_ino);
        for (const Claim &c : claims_)
            if (c.identity == identity) return &c;
        return nullptr;
    }
    const std::string normal = normalised_path(path);
    for (const Claim &c : claims_)
        if (c.path == normal) return &c;
    return nullptr;
}

std::string ScriptRunner::claim_text(const Claim &c) const {
    const std::string box = "box " + quote_symbol(c.box);
    switch (c.kind) {
    case Claim::Recording: return box + " is being recorded to it";
    case Claim::Recorded: return box + " was recorded to it earlier in this run";
    default: return box + " was written to it earlier in this run";
    }
}

std::size_t ScriptRunner::add_claim(Claim::Kind kind, const std::string &box, const std::string &path,
                                    const OutputFile &file) {
    claims_.push_back(Claim{kind, box, normalised_path(path), file.identity()});
    return claims_.size() - 1;
}

// DIR/NAME.wav, or the first of NAME-2.wav, NAME-3.wav... that this run has
// not used when it has used that (a box freed and made again).
std::string ScriptRunner::record_all_path(const std::string &name) {
    const std::filesystem::path dir(record_all_dir_);
    const std::string first = (dir / (name + ".wav")).string();
    if (!claim_on(first)) return first;
    for (int k = 2;; ++k) {
        std::string path = (dir / (name + "-" + std::to_string(k) + ".wav")).string();
        if (claim_on(path)) continue;
        err_line("maxhost: " + script_name_ + ":" + std::to_string(line_number_) +
                 ": --record-all: " + quote_symbol(first) + " is used already in this run; box " +
                 quote_symbol(name) + " records to " + quote_symbol(path));
        return path;
    }
}

}  // namespace maxhost
