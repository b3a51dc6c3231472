// Writes the example sound files into a folder:
//
//   make_examples DIR
//
// The files in examples/ are this program's output; run it again after
// changing what example_files() makes (cmake --build build --target
// make_examples && build/make_examples examples).
#include <cstdio>
#include <string>

#include "example_files.hpp"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples DIR\n");
        return 2;
    }
    for (const auto &[name, bytes] : examples::example_files()) {
        const std::string path = std::string(argv[1]) + "/" + name;
        if (!writers::write_file(path, bytes)) {
            std::fprintf(stderr, "make_examples: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
