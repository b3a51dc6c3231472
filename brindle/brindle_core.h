// The host-free part of brindle~: the walks over each format's marker data
// and the arithmetic of marker times.  Nothing here calls the host; what a
// walk finds goes to a sink, and the blocks it keeps come from a memory
// provider, so the object, the tests and the fuzzers drive the same code
// (the object with outlets and getbytes, the others with memory buffers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "ext_types.h"

// A block obtained with getbytes and its size.  A size of 0 means that no
// block is held, whatever ptr holds.
struct t_dynMemory {
    char *ptr;     // the block
    int16_t size;  // its size in bytes, as given to getbytes; 0: none held
};

// How a marker's time is worked out.  The formats differ in whether the
// stored position is signed and in the precision of the arithmetic, and the
// difference shows in the last bit of the milliseconds.
enum brindle_arith : uint8_t {
    BRINDLE_SINGLE,  // position / rate, then * 1000, all in single precision
    BRINDLE_DOUBLE   // position as float, then * 1000.0 / rate in double
};

struct brindle_time {
    uint32_t position;  // sample frames, in the machine's byte order
    bool is_signed;     // the format stores the position as signed 32-bit
    brindle_arith arith;
    int32_t rate;  // samples per second; 0 gives NaN or infinity
};

// Milliseconds from the start of the sound.
float brindle_time_ms(brindle_time t);
// The integer sent in sample-frame mode: the stored 32 bits, unscaled.
inline int32_t brindle_time_frames(brindle_time t) { return static_cast<int32_t>(t.position); }

// Decimal digits of an unsigned number and a NUL: at most 11 bytes.
void ntostr(char *text, uint32_t number);

// Where a walk tells why it stopped early or what it passed over, with the
// byte offset, chunk or marker concerned, for a reader wondering why a file
// gives fewer markers than it seems to hold.  A null log (the object's) is
// silent and costs nothing.
struct brindle_log {
    void *ctx;
    void (*line)(void *ctx, const char *text);  // one line, no newline
};

// Formats one line into a buffer on the stack and hands it to the log.  On
// Windows the C++ library's vsnprintf is the C99 one (%zu, %lld), which the
// checker must be told: there, plain printf means the system's own.
#if defined(__MINGW32__)
#define BRINDLE_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define BRINDLE_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif
void brindle_note(const brindle_log *log, const char *format, ...) BRINDLE_PRINTF_LIKE(2, 3);

// Names are built in a buffer of this size: 255 characters and a NUL.
constexpr std::size_t BRINDLE_NAME_BYTES = 256;

// Where a walk's findings go.  Every function is called on the thread of
// the walk, and returns after whatever it triggers has run.
struct brindle_sink {
    void *ctx;
    // The number of markers the data announces, before any marker.
    void (*count)(void *ctx, int32_t n);
    // One marker: its name (NUL-terminated, at most 255 characters) and time.
    void (*marker)(void *ctx, const char *name, brindle_time t);
    // A WAVE label names a cue point id that the cue chunk does not hold.
    void (*orphan_label)(void *ctx, uint32_t id);
};

// getbytes and freebytes, or a stand-in with the same 32767-byte limit.
struct brindle_memory {
    void *ctx;
    char *(*get)(void *ctx, int32_t size);
    void (*release)(void *ctx, char *p, int32_t size);
};

// Releases the block if one is held and marks it not held.
void brindle_release_block(const brindle_memory &mem, t_dynMemory &d);

// A byte range; data null or size 0 means nothing is held.
struct brindle_bytes {
    const uint8_t *data;
    std::size_t size;
};

// --- AIFF and AIFC -------------------------------------------------------

// Walks a copy of a marker chunk (header included).  A null chunk gives the
// count 0.  peakMode is read for every marker, so a receiver that changes it
// is heard from the next marker on.
void brindle_aiff_walk(brindle_bytes chunk, int32_t rate, const int32_t *peakMode, const brindle_sink &out,
                       const brindle_log *log = nullptr);

// --- Sound Designer II ---------------------------------------------------

// The sample rate held by the length-prefixed rate text: its number with the
// fraction cut off; nothing when the text holds no number or one outside 32
// bits.
std::optional<int32_t> brindle_sd2_stated_rate(brindle_bytes text, const brindle_log *log = nullptr);
// The same, 0 for nothing: the rate the markers' times are worked out with.
inline int32_t brindle_sd2_rate(brindle_bytes text) { return brindle_sd2_stated_rate(text).value_or(0); }
// Walks the marker list resource.
void brindle_sd2_walk(brindle_bytes sdml, int32_t rate, const brindle_sink &out,
                      const brindle_log *log = nullptr);

// --- WAVE ----------------------------------------------------------------

// The open file, positioned just past the RIFF header.
struct brindle_stream {
    void *ctx;
    // Reads *count bytes, sets *count to the number read; 0 when all were.
    short (*read)(void *ctx, int64_t *count, void *buf);
    // Moves the position by offset bytes; 0 on success, and a move past the
    // end of the file fails.
    short (*skip)(void *ctx, int64_t offset);
};

// How the header walk ended.  Each way but the first has its message.
enum brindle_walk_end {
    BRINDLE_WALK_END_OF_FILE,
    BRINDLE_WALK_CUE_TOO_LONG,
    BRINDLE_WALK_LIST_TOO_LONG,
    BRINDLE_WALK_SMPL_TOO_LONG
};

// The WAVE data the marker builder works from.
struct brindle_wave_data {
    int32_t *sampleRate;
    t_dynMemory *cue;   // data of the cue chunk
    t_dynMemory *list;  // data of the last LIST chunk of type adtl
    t_dynMemory *smpl;  // data of the first sample-loop chunk
    // Set when a format chunk gave the rate, which may be 0; may be null.
    bool *rateStated = nullptr;
};

// Walks the chunks once.  The object releases everything before an open;
// a block still held is given back when its kind of chunk comes along (the
// sample-loop block at once).  The rate becomes 0 unless a format chunk
// sets it.
brindle_walk_end brindle_wave_header_walk(const brindle_stream &in, const brindle_memory &mem,
                                          const brindle_wave_data &out, const brindle_log *log = nullptr);

enum brindle_wave_result {
    BRINDLE_WAVE_DONE,
    BRINDLE_WAVE_TABLE_REFUSED  // the count went out, nothing after it
};

// Sends the count, the labelled cue points and the loops.  The cue and
// list data count only together.
brindle_wave_result brindle_wave_build(brindle_bytes cue, brindle_bytes list, brindle_bytes smpl,
                                       int32_t rate, const brindle_memory &mem, const brindle_sink &out,
                                       const brindle_log *log = nullptr);
