// Macintosh resource forks read off a Mac, and the part of the Resource
// Manager that copies resources out of them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fileservices {

// The Resource Manager's own result codes.
enum ResResult : int16_t {
    kResOk = 0,
    kResNotFound = -192,      // no resource of that type and id
    kResFileNotFound = -193,  // no resource fork, or an empty one
    kResMapBroken = -199,     // a map that does not hold together
    kResMemFull = -108,       // no block for a resource's copy
};

// One resource as the map lists it; data is a range of the fork's bytes.
struct ResourceEntry {
    uint32_t type;
    int16_t id;
    uint8_t attributes;
    std::optional<std::string> name;
    std::size_t data_offset;  // of the data itself, past its length word
    std::size_t data_size;
};

// Parses a fork image: kResOk with every resource listed, kResFileNotFound
// for an empty image, kResMapBroken when any offset or count of the header
// or the map points outside the fork.
int16_t parse_resource_fork(std::span<const uint8_t> fork, std::vector<ResourceEntry> &out);

// Where the resource fork of folder/name lives, tried in this order: on
// macOS the file's own fork ("name/..namedfork/rsrc"); then, as off a Mac,
// the AppleDouble sidecar "._name", the same in ".AppleDouble/", a raw
// fork in "name.rsrc".  The first place that holds a non-empty fork
// gives it; kResFileNotFound when none does.
int16_t read_resource_fork(const std::string &folder, const std::string &name, std::vector<uint8_t> &fork);

// --- handles ---------------------------------------------------------------

// A relocatable block as the Mac hands it out: a pointer to the master
// pointer, which points to the data.
using ResHandle = char **;

// Where handle blocks come from, so that a host can account for them.
struct BlockHooks {
    void *(*alloc)(void *ctx, std::size_t bytes) = nullptr;                // null: malloc
    void (*release)(void *ctx, void *block, std::size_t bytes) = nullptr;  // null: free
    void *ctx = nullptr;
    // True when whoever hands out the blocks frees them all when it goes, so
    // the manager must not free what is left when it is destroyed.
    bool reclaimed_by_owner = false;
};

// A handle holding a copy of data, in one block from the hooks; null when
// no block could be had.
ResHandle new_handle(std::span<const uint8_t> data, const BlockHooks &hooks);
// The data size of a handle made by new_handle.
std::size_t handle_size(ResHandle h);
// The size of the whole block behind a handle of data_size bytes.
std::size_t handle_block_size(std::size_t data_size);
void dispose_handle(ResHandle h, const BlockHooks &hooks);

// --- the Resource Manager ----------------------------------------------------

// Open resource files form a chain: GetResource looks in the current file,
// then in those opened before it.  Reference 0 stands for the (empty)
// system file, current while no other is.  Each call sets the result that
// last_error() reports.
class ResourceManager {
public:
    explicit ResourceManager(BlockHooks hooks = {});
    ~ResourceManager();
    ResourceManager(const ResourceManager &) = delete;
    ResourceManager &operator=(const ResourceManager &) = delete;

    // Opens the fork of folder/name (see read_resource_fork) and makes it
    // current; the result code, with *ref set on success.
    int16_t open(const std::string &folder, const std::string &name, int16_t *ref);
    // Opens a fork image held in memory.
    int16_t open_image(std::vector<uint8_t> fork, int16_t *ref);

    int16_t current() const { return current_; }
    void use(int16_t ref);
    // The resource's handle, owned by its file until detached: the same
    // handle again while it stays attached.  Null with kResNotFound when no
    // file of the chain holds it.
    ResHandle get(uint32_t type, int16_t id);
    // Hands an attached resource handle over to the caller.
    void detach(ResHandle h);
    // Closes a file, freeing the handles it still owns.
    void close(int16_t ref);
    int16_t last_error() const { return error_; }

    // True when h is a resource handle still owned by an open file.
    bool attached(ResHandle h) const;
    std::size_t open_files() const { return files_.size(); }

private:
    struct File {
        int16_t ref;
        std::vector<uint8_t> bytes;
        std::vector<ResourceEntry> entries;
        std::map<std::size_t, ResHandle> loaded;  // entry index → handle
    };
    File *find(int16_t ref);
    void free_loaded(File &f);

    BlockHooks hooks_;
    std::vector<std::unique_ptr<File>> files_;  // in the order opened
    int16_t current_ = 0;
    int16_t next_ref_ = 1;
    int16_t error_ = kResOk;
};

}  // namespace fileservices
