// The one scratch folder the tests write into: fresh, under the system's
// temporary folder, named after the running test (a left-over folder says
// which test left it), and removed with everything in it when the test is
// done with it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace test_support {

struct ScratchDir {
    std::filesystem::path path;

    explicit ScratchDir(const std::string &prefix = "maxhost") {
        std::string name = prefix;
        if (const auto *info = testing::UnitTest::GetInstance()->current_test_info())
            name += std::string("-") + info->test_suite_name() + "-" + info->name();
        // A parameterized test's name holds slashes.
        std::replace(name.begin(), name.end(), '/', '_');
        std::string tmpl = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp " + tmpl);
        path = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    operator const std::filesystem::path &() const { return path; }
    std::filesystem::path operator/(const std::filesystem::path &rel) const { return path / rel; }
    std::string string() const { return path.string(); }

    // Writes a file at rel, its folders made first; its path.
    std::filesystem::path write(const std::filesystem::path &rel, const std::vector<uint8_t> &bytes) const {
        const std::filesystem::path p = path / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good()) << "cannot write " << p;
        return p;
    }
    std::filesystem::path write(const std::filesystem::path &rel, const std::string &text) const {
        return write(rel, std::vector<uint8_t>(text.begin(), text.end()));
    }
};

// A whole file as it is on disk; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace test_support
