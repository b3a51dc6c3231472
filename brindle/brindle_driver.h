// What drives brindle~'s walks outside the plug-in (maxhost markers, the
// tests, the fuzz harnesses): blocks from the C heap under the host's
// getbytes limit, and the file a WAVE walk reads, held in memory or on disk,
// read the way the host's sysfile calls read one.  The plug-in keeps its own
// over the host's getbytes, freebytes and sysfile_read, which the host
// counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>

#include "brindle_core.h"

// The most the host's getbytes hands out in one block.
constexpr int32_t BRINDLE_BLOCK_LIMIT = 32767;

// Blocks from the C heap as getbytes gives them: at most BRINDLE_BLOCK_LIMIT
// bytes each, given back with the size asked for.  What is still held goes
// back when the record goes.
struct brindle_heap {
    std::map<char *, int32_t> held;  // each block held, with the size asked for
    int32_t gets = 0;                // blocks handed out
    int32_t bad_releases = 0;        // of a block not held, or with another size
    brindle_heap() = default;
    brindle_heap(const brindle_heap &) = delete;
    brindle_heap &operator=(const brindle_heap &) = delete;
    ~brindle_heap();
};

brindle_memory brindle_heap_memory(brindle_heap &heap);

// A file held in memory.  A read at the end gives what is there; a move
// before the start or past the end fails and stays put.
struct brindle_byte_file {
    const uint8_t *data;
    std::size_t size;
    std::size_t pos;               // where the next read starts
    std::size_t largest_read = 0;  // the most bytes one read asked for
};

brindle_stream brindle_byte_stream(brindle_byte_file &f);

// A file on disk, read the same way.
struct brindle_disk_file {
    std::ifstream in;
    int64_t size = 0;
    int64_t pos = 0;
};

// Opens the file at path with the position at offset; false when it cannot
// be read or is shorter than offset.
bool brindle_disk_open(brindle_disk_file &f, const char *path, int64_t offset);
brindle_stream brindle_disk_stream(brindle_disk_file &f);
