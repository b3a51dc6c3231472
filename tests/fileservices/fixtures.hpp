// Fixtures for the file-service tests: a temporary folder, the current
// folder switched for a test, real files from other programs when present,
// and the file writers every test shares.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "file_writers.hpp"

namespace svc_test {

namespace fsys = std::filesystem;
using namespace writers;

// Where a real file made by another program is, in the repository.
inline std::optional<fsys::path> sample(const std::string &name) {
#ifdef MAXHOST_SAMPLES_DIR
    fsys::path p = fsys::path(MAXHOST_SAMPLES_DIR) / name;
    if (fsys::exists(p)) return p;
#endif
    (void)name;
    return std::nullopt;
}

#define REQUIRE_SAMPLE(var, name)                                  \
    auto var##_opt = ::svc_test::sample(name);                     \
    if (!var##_opt) FAIL() << "sample " << (name) << " not found"; \
    const ::svc_test::fsys::path var = *var##_opt

// A fresh folder under the system's temporary folder, removed afterwards.
struct TempDir {
    fsys::path path;
    TempDir() {
        std::string tmpl = (fsys::temp_directory_path() / "svc-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
        path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fsys::remove_all(path, ec);
    }
    std::string str() const { return path.string(); }
    fsys::path write(const std::string &rel, const std::vector<uint8_t> &bytes) const {
        fsys::path p = path / rel;
        fsys::create_directories(p.parent_path());
        EXPECT_TRUE(write_file(p.string(), bytes)) << p;
        return p;
    }
};

// Switches the current folder for a test's duration.
struct InFolder {
    fsys::path saved = fsys::current_path();
    explicit InFolder(const fsys::path &p) { fsys::current_path(p); }
    ~InFolder() { fsys::current_path(saved); }
};

}  // namespace svc_test
