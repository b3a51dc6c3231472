// What the file entry points (file_entry_points.cpp) need of the host they
// are compiled into: the state every host keeps alike (path ids, open data
// files, the Resource Manager, the bundles), and the few answers that
// differ from host to host.  A host derives its own state from FileHost and
// defines file_host().
//
// Included after the host's view of the Max API (host_api.hpp).
#pragma once

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "bundle.hpp"
#include "data_file.hpp"
#include "resource_fork.hpp"
#include "search_path.hpp"

namespace hostcommon {

class FileHost {
public:
    // noun names the host in its own lines ("... the host never gave");
    // handle_hooks are where the Resource Manager's handles come from and
    // go back to.
    FileHost(std::string_view noun, fileservices::BlockHooks handle_hooks)
        : resources(handle_hooks), noun_(noun), handle_hooks_(handle_hooks) {}
    virtual ~FileHost() = default;
    FileHost(const FileHost &) = delete;
    FileHost &operator=(const FileHost &) = delete;

    fileservices::PathTable paths;
    std::map<void *, std::unique_ptr<fileservices::DataFile>> sysfiles;  // by handle
    fileservices::ResourceManager resources;
    fileservices::BundleRegistry bundles;

    // The folder a path id stands for; nothing for an id the host never
    // gave.
    virtual std::optional<std::string> folder_of(short path) const {
        const std::string *folder = paths.folder(path);
        if (!folder) return std::nullopt;
        return *folder;
    }

    // A line of the host's own about a plug-in's misuse or a failure the
    // plug-in cannot see.
    virtual void file_error(const std::string &text) = 0;

    // Where the host looks for a file a plug-in names (locatefile_extended):
    // a file of one of the types, or nothing.  The name is one name_ok took.
    virtual std::optional<fileservices::Located> find_file(const char *name,
                                                           std::span<const t_fourcc> types) = 0;

    // What a pointer handed to GetHandleSize or disposhandle is to the host.
    enum class Given {
        Handle,  // a handle block it gave and has not taken back
        Block,   // a block it gave, but not as a handle
        Freed,   // a block it gave and has taken back
        Nothing  // nothing it gave
    };
    virtual Given given(void *p) const = 0;

    // Hands a found file to the plug-in: its folder's path id, its own name
    // (never longer than the one the buffer held) and its type.  0 on
    // success; 1, with a line, when no path id is left.
    short hand_over(const fileservices::Located &found, char *name, short *outpath, t_fourcc *outtype);

    // Registers a plug-in's bundle information ("Key value" lines); false,
    // with a line, when it cannot be read.
    bool add_bundle_info(const char *text);

    std::string_view noun() const { return noun_; }
    const fileservices::BlockHooks &handle_hooks() const { return handle_hooks_; }

private:
    std::string_view noun_;
    fileservices::BlockHooks handle_hooks_;
};

// Resource handles drawn from the C heap and remembered until they are
// disposed, for hosts without block accounting of their own.  A host
// derives from it ahead of FileHost, whose constructor takes the hooks.
class HeapHandles {
public:
    fileservices::BlockHooks heap_hooks();
    bool heap_holds(void *p) const { return handles_.count(p) != 0; }

private:
    std::set<void *> handles_;
};

// The host the plug-in's calls reach; null when there is none.  Each host
// defines it.
FileHost *file_host();

// No exception crosses into a plug-in: what one carries becomes the host's
// line and the call's failure result.
template <class R, class F>
R guarded(FileHost &host, R failure, F &&f) {
    try {
        return f();
    } catch (const std::exception &e) {
        host.file_error(e.what());
        return failure;
    }
}

// A plug-in's name, when it is one a host can take: NUL-terminated within
// the 256 bytes a name buffer holds, and not empty.
bool name_ok(const char *name);

// A plug-in's type list as a span; empty for none.
std::span<const t_fourcc> type_list(const t_fourcc *types, short count);

}  // namespace hostcommon
