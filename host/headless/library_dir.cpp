// Where the host library was loaded from.  Plug-ins are installed beside
// it, so a host that was moved, or installed under any prefix, finds them
// without a path compiled in or an environment variable.
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "host.hpp"

namespace headless {

namespace {

// An object of this library: its address lies in the library's mapping,
// whatever the program that loaded it.
const char anchor = 0;

}  // namespace

std::string host_library_dir() {
    Dl_info info{};
    if (!dladdr(&anchor, &info) || !info.dli_fname || !*info.dli_fname) return {};
    // The loader's name for the file: absolute when it came through a
    // run path of $ORIGIN, relative to the directory the process started
    // in when it came through a relative LD_LIBRARY_PATH entry.
    std::error_code ec;
    std::filesystem::path file = std::filesystem::absolute(info.dli_fname, ec);
    if (ec) return {};
    return file.lexically_normal().parent_path().string();
}

}  // namespace headless
