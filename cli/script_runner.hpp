// Runs a patch script against a headless host, one event per line, and
// writes what the patch does: outlet messages to out, console lines and
// script errors to err.
#pragma once

#include <csignal>
#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <memory>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host.hpp"
#include "script_lexer.hpp"
#include "soundfile.hpp"

namespace maxhost {

// The text of one outlet message as maxhost prints it, without the line
// break: "NAME OUTLET: SELECTOR ATOMS...".
std::string format_message(const headless::OutletMessage &m);
std::string format_atom(const t_atom &a);

// The whole number of vectors that covers seconds x sr samples.  seconds is
// decimal text as written in the script, so that 0.1 s means a tenth of a
// second rather than the float nearest to it; a product within a millionth
// of a sample of a vector boundary counts as on it.  -1 when the text is not
// a non-negative finite number or the count does not fit.
int64_t vectors_for_seconds(const std::string &seconds, double sr, int32_t vs);

// Whether a script's bytes can be a script: no NUL byte, and not mostly
// bytes that are neither printable ASCII, blanks, line breaks nor part of
// UTF-8 text.  Nothing when it can; else why not, in a few words.
std::optional<std::string> not_text(std::string_view bytes);

class ScriptRunner {
public:
    // The runner owns host.on_console and host.on_message while it lives.
    ScriptRunner(headless::Host &host, std::ostream &out, std::ostream &err);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner &) = delete;
    ScriptRunner &operator=(const ScriptRunner &) = delete;

    // Shows how far a long run has got on err (for a terminal).
    void set_progress(bool on) { progress_ = on; }
    // Leaves out the objects' load banners.
    void set_quiet(bool on) { quiet_ = on; }
    // How write and record store samples.
    void set_sample_format(SampleFormat f) { format_ = f; }
    // Records every box with signal outlets, from its creation, to
    // DIR/NAME.wav (NAME-2.wav, NAME-3.wav... when the run has used that
    // file already).
    void set_record_all(std::string dir) { record_all_dir_ = std::move(dir); }
    // A signal handler stores the signal's number here to stop the run: it
    // stops at the next vector (or block of a write, or line), and the
    // files being recorded are finished as stop does.  0 while none came.
    void set_stop_flag(const volatile std::sig_atomic_t *flag) { stop_flag_ = flag; }
    // For tests: a lower FORM size limit for AIFF files than 4 GiB
    // (SoundWriter::set_size_field_max).
    void set_size_field_max(std::uint64_t bytes) { size_field_max_ = bytes; }

    // A run stops after this many failed lines, unless set_max_errors says
    // otherwise.
    static constexpr int kMaxErrors = 20;
    // 0: a run never stops for failed lines.
    void set_max_errors(int n) { max_errors_ = n; }

    // Whole: the script is read to its end before anything runs, so that a
    // file that is not text is refused at once and only the boxes a write
    // names keep their outlets in memory.  ByLine: each line runs as soon
    // as it has arrived, for a program that drives maxhost through a pipe
    // and reads the replies to a line before writing the next; every box
    // keeps its outlets, and a line holding a NUL byte ends the run.
    enum class Reading { Whole, ByLine };

    // Runs every line of script; name is how errors refer to it.  Returns 0
    // when every line ran, 1 when one or more failed, 2 when the script is
    // not text (read whole: nothing is run then; by line: the lines before
    // the one holding a NUL byte have run).  A failed line does not stop
    // the run, unless it is the max_errors-th; an exception from the host
    // (out of memory) does.  A UTF-8 byte-order mark at the start is
    // skipped.  Boxes still alive at the end are freed, as closing a patch
    // would, and their recordings finished; a recording that cannot be
    // finished makes it 1.  A stop through the stop flag makes it 1 too.
    int run(std::istream &script, const std::string &name, Reading reading = Reading::Whole);

    // Runs one line; false when it failed (the error is on err).  For
    // callers that feed lines themselves; run() uses it.
    bool run_line(std::string_view line, const std::string &name, int64_t number);

private:
    using Tokens = std::vector<Token>;

    bool cmd_new(const Tokens &t);
    bool cmd_send(const Tokens &t);
    bool cmd_signal(const Tokens &t);
    bool cmd_dsp(const Tokens &t);
    bool cmd_run(const Tokens &t);
    bool cmd_ticks(const Tokens &t);
    bool cmd_write(const Tokens &t);
    bool cmd_disable(const Tokens &t);
    bool cmd_free(const Tokens &t);
    bool cmd_path(const Tokens &t);
    bool cmd_dialog(const Tokens &t);
    bool cmd_record(const Tokens &t);
    bool cmd_stop(const Tokens &t);

    // A recording to a file made when it is asked for, whose sound starts at
    // the first vector, when the sample rate is the running one.
    struct Recording {
        std::string name;  // the box's
        std::string path;
        OutputFile file;  // until the writer takes it
        std::unique_ptr<SoundWriter> writer;
        std::size_t claim = 0;  // its entry in claims_
    };
    bool start_recording(headless::Box *b, const std::string &name, const std::string &path);
    bool stop_recording(headless::Box *b);
    void record_vector(headless::Box *b, std::span<float *const> outlets, std::size_t n);
    std::unique_ptr<SoundWriter> open_writer(OutputFile file, const std::string &path, int channels,
                                             std::string *error);

    // A file this run has recorded or written to, or is recording to: no
    // other recording or write may replace it.  Known by device and inode
    // once it exists, by its normalised absolute path before.
    struct Claim {
        enum Kind { Recording, Recorded, Written };
        Kind kind;
        std::string box;
        std::string path;  // normalised absolute
        std::optional<std::pair<std::uint64_t, std::uint64_t>> identity;
    };
    const Claim *claim_on(const std::string &path) const;
    std::string claim_text(const Claim &c) const;
    std::size_t add_claim(Claim::Kind kind, const std::string &box, const std::string &path,
                          const OutputFile &file);
    std::string record_all_path(const std::string &name);

    headless::Box *box_arg(const Tokens &t, std::size_t index);
    bool tick(int64_t vectors);
    bool stop_requested();
    bool fail(const std::string &message);
    void out_line(const std::string &text);
    void err_line(const std::string &text);
    void clear_progress();
    int free_remaining();

    headless::Host &host_;
    std::ostream &out_;
    std::ostream &err_;
    bool progress_ = false;
    bool progress_shown_ = false;
    // Where the line being run came from, for error messages.
    std::string script_name_;
    int64_t line_number_ = 0;
    // Names in creation order, so the end of a run frees them in that order.
    std::vector<std::string> created_;
    bool quiet_ = false;
    SampleFormat format_ = SampleFormat::Float32;
    std::string record_all_dir_;
    std::map<headless::Box *, Recording> recordings_;
    std::vector<Claim> claims_;
    // Set when a recording fails during the vectors of a run or ticks line,
    // which then fails.
    bool recording_failed_ = false;
    const volatile std::sig_atomic_t *stop_flag_ = nullptr;
    bool stop_reported_ = false;
    std::uint64_t size_field_max_ = SoundWriter::kSizeFieldMax;
    // Boxes a write of the script names; only they are kept in memory when
    // the whole script was read first.
    std::set<std::string> written_;
    bool whole_script_ = false;
    int max_errors_ = kMaxErrors;
};

}  // namespace maxhost
