// Runs a patch script against a headless host, one event per line, and
// writes what the patch does: outlet messages to out, console lines and
// script errors to err.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "host.hpp"
#include "script_lexer.hpp"

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

class ScriptRunner {
public:
    // The runner owns host.on_console and host.on_message while it lives.
    ScriptRunner(headless::Host &host, std::ostream &out, std::ostream &err);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner &) = delete;
    ScriptRunner &operator=(const ScriptRunner &) = delete;

    // Shows how far a long run has got on err (for a terminal).
    void set_progress(bool on) { progress_ = on; }

    // Runs every line of script; name is how errors refer to it.  Returns 0
    // when every line ran, 1 when one or more failed.  A failed line does
    // not stop the run; only an exception from the host (out of memory)
    // does.  Boxes still alive at the end are freed, as closing a patch
    // would.
    int run(std::istream &script, const std::string &name);

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

    headless::Box *box_arg(const Tokens &t, std::size_t index);
    bool tick(int64_t vectors);
    bool fail(const std::string &message);
    void out_line(const std::string &text);
    void err_line(const std::string &text);
    void clear_progress();
    void free_remaining();

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
};

}  // namespace maxhost
