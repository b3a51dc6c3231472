// The headless host: a recording stand-in for the Max runtime.
//
// One Host at a time is current; the C entry points of host/include route to
// it.  Everything the host knows lives in the instance, so a test starts from
// a clean host by making a new one.  The host is single-threaded: the "audio
// thread" is whoever calls tick(), between events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ext.h"
#include "z_dsp.h"

namespace headless {

struct Box;
struct ClassRecord;

// One console line, in the order it was printed.
struct ConsoleLine {
    enum Kind { Post, Error, Alert, Host };
    Kind kind;
    std::string text;  // Host lines begin with "host: "
    // Posted while a class's main or a box's creation function ran: the
    // objects' load banners.
    bool banner = false;
};

// One message that left an outlet.
struct OutletMessage {
    std::string box;     // the box's name
    int outlet;          // counted from 0 at the left
    t_symbol *selector;  // "int", "float", "bang", "list" or any other
    std::vector<t_atom> atoms;
};

// Atom helpers for callers building messages.
t_atom long_atom(int32_t v);
t_atom float_atom(float v);
t_atom sym_atom(const char *s);

// Saturating float-to-int32 conversion: NaN gives 0.
int32_t saturate_to_int32(double v);

// The folder the host library was loaded from, where its own plug-ins are
// (the build's plugins/, an install's lib/maxhost/); empty when the
// library's file cannot be told.
std::string host_library_dir();

class Host {
public:
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // The current host, or null.
    static Host *current();

    // --- plug-ins --------------------------------------------------------
    // Folders searched for CLASS.so: the one added last is searched first,
    // and the host library's own folder, there from the start, last.
    void add_plugin_dir(const std::string &dir);
    // Makes sure the class is registered: loads CLASS.so and calls its main.
    // False (with a "host: " line) when no bundle could be loaded.
    bool load_class(const std::string &cls);
    // Registers a class whose entry point is linked in (tests).
    bool register_class(const std::string &cls, int (*entry)());

    // --- boxes -----------------------------------------------------------
    // Creates a box as typing "CLASS ARGS" into Max would; null when the
    // class is unknown or its creation function refused (the reason is on
    // the console).  Names must be unique among live boxes.
    Box *new_box(const std::string &name, const std::string &cls, std::span<const t_atom> args = {});
    Box *find(const std::string &name) const;
    // Delivers one message to the left inlet: a first atom that is a number
    // makes the selector "list" ("int"/"float" for a lone number), else the
    // first symbol is the selector.  Does not run the deferred queue.
    void send(Box *b, std::span<const t_atom> atoms);
    void send_message(Box *b, t_symbol *selector, std::span<const t_atom> args);
    // Runs every deferred call queued so far (and those they queue).
    void run_deferred();
    // One event: each message delivered in turn, then the deferred queue.
    void event(Box *b, const std::vector<std::vector<t_atom>> &messages);
    // Takes the box out of the chain, cancels its deferred calls, calls its
    // free function and reports blocks it still holds.
    void free_box(Box *b);
    // Calls the class's assist method; the buffer starts as "<untouched>".
    std::string assist(Box *b, int32_t msg, int32_t index);
    // The record of the box's instance.
    void *instance(Box *b) const;
    const std::string &class_name(Box *b) const;
    int signal_inlets(Box *b) const;
    int signal_outlets(Box *b) const;
    int outlets(Box *b) const;
    bool is_signal(Box *b) const;  // a signal (MSP) object

    // --- signals ---------------------------------------------------------
    // Feeds a signal inlet (0 = left): a constant, samples (zeros after
    // their end) or nothing.  A fed inlet counts as connected.
    void set_signal_constant(Box *b, int inlet, float value);
    void set_signal_samples(Box *b, int inlet, std::vector<float> samples);
    void set_signal_none(Box *b, int inlet);
    // Hands the inlet and the outlet the same memory (-1: no longer).
    void set_alias(Box *b, int inlet, int outlet);
    void set_disabled(Box *b, bool disabled);

    // Audio on: calls every signal object's dsp method.  vs must be 1 or
    // more.  While on, creating or freeing a box or changing a signal
    // connection rebuilds the chain.
    void dsp_on(float sr, int32_t vs);
    void dsp_off();
    bool dsp_running() const;
    float sample_rate() const;  // sys_getsr()
    int32_t vector_size() const;
    // Runs n vectors.
    void tick(int64_t vectors);
    // Samples of each signal outlet (left first) recorded since creation,
    // or since keeping was last switched on.
    const std::vector<std::vector<float>> &recorded(Box *b) const;
    // Whether the box's outlets are kept in memory for recorded() (they
    // are from creation on); a long run that streams them elsewhere
    // switches it off.
    void keep_recording(Box *b, bool keep);
    // Called after every vector with each signal box's outlets (left
    // first), n samples each.
    std::function<void(Box *, std::span<float *const> outlets, std::size_t n)> on_vector;

    // --- what happened ---------------------------------------------------
    std::vector<ConsoleLine> console;
    std::vector<OutletMessage> messages;
    std::function<void(const ConsoleLine &)> on_console;
    std::function<void(const OutletMessage &)> on_message;

    // Blocks from getbytes/t_getbytes not yet freed.
    std::size_t blocks_held() const;
    int64_t bytes_held() const;  // their sizes, added up
    // The next n calls of getbytes/t_getbytes give null, as when memory runs
    // out; lets tests reach a plug-in's out-of-memory paths.
    void fail_allocations(int n);

    // --- file services ---------------------------------------------------
    void add_search_dir(const std::string &dir);  // "path DIR"
    void set_script_dir(const std::string &dir);
    // The answer to the next open_dialog: a file, or nullopt for cancel.
    void set_dialog_answer(std::optional<std::string> file);

    // --- used by the C entry points --------------------------------------
    struct Impl;
    Impl &impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace headless
