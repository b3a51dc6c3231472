// Fixtures for the file-service tests: the scratch folder, the current
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
#include "scratch_dir.hpp"

namespace svc_test {

namespace fsys = std::filesystem;
using namespace writers;
using test_support::ScratchDir;

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

// Switches the current folder for a test's duration.
struct InFolder {
    fsys::path saved = fsys::current_path();
    explicit InFolder(const fsys::path &p) { fsys::current_path(p); }
    ~InFolder() { fsys::current_path(saved); }
};

}  // namespace svc_test
