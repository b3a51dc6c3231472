// The headless host's side of the file services: its path ids and search
// path, the dialog answered beforehand, and handle blocks drawn from its
// block accounting.  The C entry points themselves are the ones every host
// shares (host/hostcommon/file_entry_points.cpp); open_dialog is this host's.
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "host_impl.hpp"

using headless::Host;
using headless::impl;

namespace {

void *handle_alloc(void *ctx, std::size_t bytes) {
    auto *I = static_cast<Host::Impl *>(ctx);
    if (bytes > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    return I->alloc(static_cast<int32_t>(bytes), true);
}

void handle_release(void *ctx, void *block, std::size_t) {
    auto *I = static_cast<Host::Impl *>(ctx);
    // A handle whose box was freed has already been reported and freed by
    // the host's accounting.
    auto it = I->blocks.find(block);
    if (it != I->blocks.end()) I->release(block, it->second.size, true);
}

}  // namespace

hostcommon::FileHost *hostcommon::file_host() { return impl(); }

namespace headless {

fileservices::BlockHooks handle_hooks(Host::Impl *I) {
    fileservices::BlockHooks hooks;
    hooks.alloc = handle_alloc;
    hooks.release = handle_release;
    hooks.ctx = I;
    hooks.reclaimed_by_owner = true;  // the host frees every block it still holds
    return hooks;
}

void Host::Impl::file_error(const std::string &text) { host_line(text); }

std::optional<fileservices::Located> Host::Impl::find_file(const char *name,
                                                           std::span<const t_fourcc> types) {
    return fileservices::locate(name, fileservices::SearchPath{search_dirs, script_dir}, types);
}

// Handles are large blocks; one the host freed is remembered, so that a
// second dispose is told from a stray pointer.
hostcommon::FileHost::Given Host::Impl::given(void *p) const {
    if (auto it = blocks.find(p); it != blocks.end()) return it->second.large ? Given::Handle : Given::Block;
    return freed_blocks.count(p) ? Given::Freed : Given::Nothing;
}

void Host::Impl::register_bundle_info(const std::string &info_path) {
    std::error_code ec;
    if (!std::filesystem::exists(info_path, ec)) return;  // the banner falls back
    if (!bundles.add_info_file(info_path)) host_line("cannot read bundle information " + info_path);
}

}  // namespace headless

extern "C" {

// No window here: the answer given beforehand stands for the user's choice,
// once.  Without one the user cancelled.
short open_dialog(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist, short numtypes) {
    Host::Impl *I = impl();
    if (!I || !name) return 1;
    auto answer = std::exchange(I->dialog_answer, std::nullopt);
    if (!answer) return 1;
    const fileservices::SearchPath search{I->search_dirs, I->script_dir};
    auto found = fileservices::locate(*answer, search, hostcommon::type_list(typelist, numtypes));
    if (!found) return 1;
    return I->hand_over(*found, name, outpath, outtype);
}

}  // extern "C"
