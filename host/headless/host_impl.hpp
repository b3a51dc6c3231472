// Inner working of the headless host, shared by the Host class (host.cpp)
// and the C entry points, which are split by concern as in the adapters:
// classes.cpp, outlets.cpp, dsp.cpp, defer.cpp and files.cpp.  Not for
// plug-ins.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host.hpp"
#include "host_api.hpp"

#include "dispatch.hpp"
#include "file_host.hpp"

// The class record behind t_messlist.
struct messlist : hostcommon::ClassRecord<hostcommon::Binding> {
    using ClassRecord::ClassRecord;
    bool is_signal = false;
};

namespace headless {

struct Outlet {
    Box *box;
    bool is_signal;
};

// Where a signal inlet's samples come from.
struct Feed {
    enum Kind { None, Constant, Samples } kind = None;
    float value = 0;
    std::vector<float> samples;
    std::size_t pos = 0;  // next sample to play
};

struct Box {
    std::string name;
    messlist *cls = nullptr;
    void *obj = nullptr;            // the instance record
    void *record_mem = nullptr;     // what newobject allocated
    std::vector<Outlet *> outlets;  // left to right
    std::vector<std::unique_ptr<Outlet>> outlet_store;
    int sig_inlets = 0;
    std::vector<Feed> feeds;
    std::vector<int> alias;                    // per inlet: outlet index sharing its memory, or -1
    std::vector<std::vector<float>> recorded;  // per signal outlet
    bool keep = true;                          // recorded is kept
    // Chain buffers, valid from one build of the chain to the next.
    std::vector<std::vector<float>> in_bufs, out_bufs;
    std::vector<t_signal> sigs;
    std::vector<t_signal *> sig_ptrs;
    std::vector<short> counts;
    std::vector<float *> out_vecs;  // where each signal outlet's samples are

    int signal_outlets() const {
        int n = 0;
        for (auto *o : outlets) n += o->is_signal;
        return n;
    }
};

struct Block {
    int32_t size;
    bool large;  // from t_getbytes
    Box *owner;
};

struct ChainEntry {
    Box *box;
    t_perfroutine fn;
    std::vector<t_int> w;  // w[0] unused, w[1..n] the arguments
};

using Deferred = hostcommon::DeferredCall<Box>;

// Handle blocks of the Resource Manager come from the host's block
// accounting (files.cpp), so that a handle never disposed shows.
fileservices::BlockHooks handle_hooks(Host::Impl *impl);

// The file services' state is the shared FileHost's (files.cpp).
struct Host::Impl final : hostcommon::FileHost {
    Impl() : FileHost("host", headless::handle_hooks(this)) {}

    Host *host = nullptr;
    std::vector<std::string> plugin_dirs;
    std::map<std::string, std::unique_ptr<messlist>> classes;
    std::string registering;                  // class name while a main runs
    messlist *setting_up = nullptr;           // class being set up
    std::vector<std::unique_ptr<Box>> boxes;  // creation order
    Box *creating = nullptr;                  // box whose new function runs
    Box *active = nullptr;                    // box whose code runs (block owner)
    Box *dsp_box = nullptr;                   // box whose dsp method runs
    std::map<void *, Block> blocks;
    std::map<void *, int32_t> freed_blocks;  // for double-free reports
    int failing_allocations = 0;
    std::vector<ChainEntry> chain;
    bool running = false;
    float sr = 44100.0f;
    int32_t vs = 64;
    std::deque<Deferred> deferred;
    std::vector<std::string> search_dirs;
    std::string script_dir;
    std::optional<std::string> dialog_answer;

    // The console, outlets and blocks (outlets.cpp).
    void console(ConsoleLine::Kind kind, std::string text);
    void host_line(const std::string &text) { console(ConsoleLine::Host, "host: " + text); }
    void message(Outlet *o, t_symbol *sel, short ac, const t_atom *av);
    void *alloc(int32_t size, bool large);
    void release(void *p, int32_t size, bool large);
    // The box of an instance record (classes.cpp).
    Box *box_of(void *x) const;
    // The chain (dsp.cpp).
    void build_chain();
    void remove_from_chain(Box *b);
    // Registers the version information a plug-in's build wrote beside it
    // (files.cpp).
    void register_bundle_info(const std::string &info_path);
    // What the file services ask of the host (files.cpp).
    void file_error(const std::string &text) override;
    std::optional<fileservices::Located> find_file(const char *name,
                                                   std::span<const t_fourcc> types) override;
    Given given(void *p) const override;
    // Runs code of a box with it as the owner of what gets allocated.
    struct Scope {
        Impl &impl;
        Box *saved;
        Scope(Impl &i, Box *b) : impl(i), saved(i.active) { impl.active = b; }
        ~Scope() { impl.active = saved; }
    };
};

// The current host's inner working, which the C entry points route to; null
// when no host is current (host.cpp).
Host::Impl *impl();

// The box of an instance record: the one being created, or the one it
// belongs to; null for anything else (classes.cpp).
Box *box_for(Host::Impl *I, void *x);

}  // namespace headless
