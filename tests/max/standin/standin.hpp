// A stand-in for Max, written to the public SDK's declarations, that loads a
// Max external and drives it the way Max does: ext_main registers a class
// (class_new, class_addmethod, class_dspinit, class_register), boxes are
// made with A_GIMME creation arguments, messages arrive through
// object_method_typed (as typedmess, with a long count),
// help through object_method, the chain is compiled by calling dsp64 and
// ticked through the perform routines dsp_add64 registered, and qelems run
// when the test says so.  Everything an external does is recorded: console
// lines, outlet messages, open memory blocks, qelems.
//
// Built for Linux as one library, and for Windows as the two DLLs the
// externals import from (MaxAPI.dll, MaxAudio.dll), so that the very same
// .mxe64 that Max would load runs under Wine.  The calls below are the
// test's side; the SDK's functions are the external's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// An atom as the test writes and reads it.
struct Value {
    enum Kind { Long, Float, Sym };
    Kind kind = Long;
    int64_t l = 0;
    double f = 0.0;
    std::string s;
};
Value l(int64_t v);
Value f(double v);
Value s(std::string v);

// A console line: post, error (object_error or error) or an alert.
struct Line {
    enum Kind { Post, Error, Alert };
    Kind kind;
    void *object;  // the object named with the line, or null
    std::string text;
};

// A message an outlet sent: outlet 0 is the leftmost.
struct Sent {
    void *object;
    int outlet;
    std::string selector;
    std::vector<Value> atoms;
    bool anything = false;  // sent through outlet_anything
};

// What a class registered for a selector: its argument types, as the SDK's
// codes, or nothing when it has no such method.
struct MethodInfo {
    bool found = false;
    std::vector<short> types;
};

// --- loading and classes ---------------------------------------------------------

// Loads the external (dlopen or LoadLibrary) and calls its ext_main; false,
// with a line on standard error, when it cannot be loaded.
bool load(const std::string &path);
bool class_registered(const std::string &cls);  // in the box name space
bool class_is_signal(const std::string &cls);   // class_dspinit was called
MethodInfo method_info(const std::string &cls, const std::string &selector);

// --- boxes ------------------------------------------------------------------------

// Null when the class refused the box.
void *create(const std::string &cls, const std::vector<Value> &args);
void destroy(void *obj);
int live_objects();
// The selector and the atoms, as a message box sends them.
void send(void *obj, const std::string &selector, const std::vector<Value> &args);
// The help text through object_method(obj, "assist", ...); the buffer starts
// as preset, which comes back unchanged when the object writes nothing.
std::string assist(void *obj, long kind, long index, const std::string &preset = "");

int signal_inlets(void *obj);  // as z_dsp_setup gave them
bool dsp_freed(void *obj);     // z_dsp_free was called
int outlet_count(void *obj);
std::string outlet_type(void *obj, int outlet);  // outlet 0 is the leftmost

// --- the signal chain -------------------------------------------------------------

// Compiles obj into the chain: calls its dsp64 with these connection counts
// (inlets, then outlets), sample rate and vector size.  A compile replaces
// the object's earlier entries.
void compile(void *obj, double samplerate, long vector_size, const std::vector<short> &counts);
int chain_entries(void *obj);
// One vector: ins and outs hold one buffer per signal inlet and outlet,
// each of the compiled vector size, or of frames samples when given.
void tick(void *obj, std::vector<std::vector<double>> &ins, std::vector<std::vector<double>> &outs,
          long frames = -1);
// Max may still tick an old chain after it has compiled a new one: the
// object's entries as compiled last are kept, to be ticked later with
// their vector size, or with frames samples when given.
int keep_chain(void *obj);
void tick_kept(int chain, std::vector<std::vector<double>> &ins, std::vector<std::vector<double>> &outs,
               long frames = -1);
void set_disabled(void *obj, bool muted);  // as mute~ does
void set_samplerate(double sr);            // what sys_getsr answers

// --- deferral ---------------------------------------------------------------------

// Runs the qelems that are set, and those they set, until none is; the
// number run.
int run_queue();
int live_qelems();

// Functions called on the delivering thread right before and right after
// an object's method runs for a message; null for none.  A test counts
// what the external alone does for a message.
void set_delivery_hooks(void (*before)(), void (*after)());

// --- files ------------------------------------------------------------------------

// The search path: folders searched in order by locatefile_extended.
void add_search_folder(const std::string &folder);
// What the next open_dialog answers: a file of a folder, or a cancel.
void answer_dialog(const std::string &folder, const std::string &name);
void cancel_dialog();
// Lets sysfile_setpos move anywhere at or after the start, as Max's does
// on disk (the default); when false, past the end fails too.
void set_lenient_seek(bool lenient);
int open_files();

// --- what was recorded ------------------------------------------------------------

const std::vector<Line> &console();
const std::vector<Sent> &sent();
void clear_logs();
long live_blocks();  // sysmem blocks not yet freed

}  // namespace standin
