// The stand-in's state, shared by its MaxAPI part (standin.cpp) and its
// MaxAudio part (standin_audio.cpp).  Included after nothing but the SDK.
#pragma once

#include "max-includes/ext.h"
#include "max-includes/ext_obex.h"
#include "msp-includes/z_dsp.h"

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data_file.hpp"
#include "standin.hpp"

namespace standin {

// Every method as the stand-in calls it: cast to its own prototype first.
using Method = void (*)(void);

struct MethodRec {
    Method fn;
    std::vector<short> types;
};

struct ClassRec {
    std::string name;
    Method mnew = nullptr;
    Method mfree = nullptr;
    long size = 0;
    std::vector<short> new_types;
    std::map<std::string, MethodRec> methods;
    bool dsp = false;
    bool registered = false;
    t_class max{};  // what class_new hands out
};

// A perform routine dsp_add64 registered.
struct ChainEntry {
    t_perfroutine64 fn;
    void *userparam;
};

struct KeptChain {
    void *object;
    long vector_size;
    std::vector<ChainEntry> entries;
};

struct ObjectRec {
    ClassRec *cls = nullptr;
    std::vector<void *> outlets;  // in the order made
    int signal_inlets = 0;
    bool dsp_set_up = false;
    bool dsp_freed = false;
    long vector_size = 0;
    std::vector<ChainEntry> chain;
};

struct OutletRec {
    void *owner;
    std::string type;
    int order;  // 0 for the first one made
};

struct QelemRec {
    void *owner;
    void (*fn)(void *);
    bool set = false;              // under the queue's lock
    QelemRec *next_set = nullptr;  // the next set after this one, likewise
    bool running = false;
    bool freed = false;
};

// Holds the lock of the qelems that are set, which qelem_set takes from
// any thread.
struct QueueGuard {
    QueueGuard();
    ~QueueGuard();
    QueueGuard(const QueueGuard &) = delete;
    QueueGuard &operator=(const QueueGuard &) = delete;
};

struct State {
    std::vector<std::unique_ptr<ClassRec>> classes;
    std::map<const t_class *, ClassRec *> by_max;
    std::map<void *, ObjectRec> objects;
    std::map<void *, OutletRec> outlets;
    std::vector<std::unique_ptr<char>> outlet_memory;
    std::map<std::string, std::unique_ptr<t_symbol>> symbols;
    std::vector<std::unique_ptr<char[]>> symbol_text;
    std::set<void *> blocks;
    std::set<QelemRec *> qelems;
    std::vector<KeptChain> kept_chains;
    // The qelems set, in the order they were set, linked through next_set.
    std::atomic_flag queue_lock = ATOMIC_FLAG_INIT;
    QelemRec *first_set = nullptr;
    QelemRec *last_set = nullptr;
    void (*before_delivery)() = nullptr;
    void (*after_delivery)() = nullptr;
    std::vector<Line> console;
    std::vector<Sent> sent;
    uint64_t main_thread = 0;  // the thread that made the state

    // The chain being compiled: the object whose dsp64 runs.
    void *compiling = nullptr;
    // The object whose free method runs.
    void *freeing = nullptr;
    double samplerate = 44100.0;

    std::vector<std::string> search;
    std::vector<std::string> paths;  // path id k is paths[k - 1]
    std::string dialog_folder;
    std::string dialog_name;
    bool dialog_cancel = true;
    bool lenient_seek = true;
    std::map<t_filehandle, std::unique_ptr<fileservices::DataFile>> files;
    std::map<t_filehandle, int64_t> positions;
};

State &state();
uint64_t this_thread();
ObjectRec *record_of(void *x);
ClassRec *class_named(const std::string &name);
short path_id(const std::string &folder);
const std::string *path_folder(short id);

}  // namespace standin
