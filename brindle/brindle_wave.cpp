// WAVE markers and loops.
//
// Format: the data of three chunks, as the header walk kept them.  Every
// number is little-endian.
//
// cue   0   4  number of cue points m, signed; a negative m has no labels
//       4      m cue points of 24 bytes:
//              0  4  cue point id     what a label names
//              4  4  position, signed sample frames: the marker's time
//              8 16  data chunk id, chunk start, block start, sample
//                    offset           not read
// LIST  0   4  list type: adtl, the associated-data list
//       4      sub-chunks; only labels are read, everything else (ltxt,
//              note) is passed over by the search:
//              0  4  labl
//              4  4  size             not read
//              8  4  cue point id
//              12    label text, ending in a NUL
// smpl  28  4  number of loops n, signed; a negative n counts as none
//       36     n loops of 24 bytes: start at 8, end at 12, both unsigned
//              sample frames; the rest is not read
//
// Output: the count m + 2n (wrapped to 32 bits) when both cue and label data
// are held, else 2n; then one marker per label, in the labels' order, named
// by the text or, when it is empty, by the cue point id; then "beg loop" and
// "end loop" for each loop.  The count is what the data announces, so it can
// exceed what follows.
//
// Labels are found by scanning forward byte by byte for labl, from just
// after adtl, then from the start of each label's text.  Every scan and read
// stays inside its block: a pass that runs out of data (a count that
// promises more entries than the block holds, a labl too near the end)
// stops there, and the loop pass still runs.  A label text longer than 255
// characters keeps its first 255; one that runs to the end of the block
// without a NUL ends there.
//
// The cue points are first copied into a working table of m pairs (id,
// position) sized from m itself, in a getbytes block: an m whose table
// cannot have one (m x 8 above 32767) sends nothing after the count.
#include <algorithm>
#include <cstring>

#include "brindle_core.h"
#include "byte_cursor.h"

namespace {

constexpr uint32_t ID_ADTL = FOUR_CHAR_CODE('a', 'd', 't', 'l');
constexpr uint32_t ID_LABL = FOUR_CHAR_CODE('l', 'a', 'b', 'l');
constexpr std::size_t CUE_POINT_BYTES = 24;
constexpr std::size_t LOOP_BYTES = 24;
constexpr std::size_t LOOPS_AT = 36;
constexpr int64_t MAX_TABLE = 32767;
constexpr std::size_t PAIR_BYTES = 8;

// The 32 bits a 32-bit sum would leave.
int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Number of loops the data announces (0 when the chunk is too short to say).
int64_t loop_count(brindle_bytes smpl, const brindle_log *log) {
    bytes::Cursor c(smpl.data, smpl.size);
    const auto n = c.skip(28) ? c.i32le() : std::nullopt;
    if (!n) {
        if (c.size() != 0)
            brindle_note(log, "smpl: %zu bytes, too few for the loop count at byte 28; no loops", c.size());
        return 0;
    }
    if (*n < 0) brindle_note(log, "smpl: %d loops announced; none sent", *n);
    return *n < 0 ? 0 : *n;
}

void send_loops(brindle_bytes smpl, int64_t n, int32_t rate, const brindle_sink &out,
                const brindle_log *log) {
    bytes::Cursor c(smpl.data, smpl.size);
    if (!c.skip(LOOPS_AT)) {
        if (n > 0)
            brindle_note(log, "smpl: %lld loops announced, the data end before the first, at byte 36",
                         static_cast<long long>(n));
        return;
    }
    const int64_t held = static_cast<int64_t>(c.remaining() / LOOP_BYTES);
    if (n > held)
        brindle_note(log, "smpl: %lld loops announced, %lld held whole; the rest are not sent",
                     static_cast<long long>(n), static_cast<long long>(held));
    // Only loops the chunk holds whole are walked: none of these reads fails.
    for (int64_t k = 0; k < std::min(n, held); ++k) {
        c.skip(8);
        const uint32_t start = c.u32le().value_or(0);
        const uint32_t end = c.u32le().value_or(0);
        c.skip(8);
        out.marker(out.ctx, "beg loop", brindle_time{start, false, BRINDLE_DOUBLE, rate});
        out.marker(out.ctx, "end loop", brindle_time{end, false, BRINDLE_DOUBLE, rate});
    }
}

// The pairs live in the table as bytes, id then position, each in the
// machine's order.
void put_pair(char *table, std::size_t i, uint32_t id, uint32_t position) {
    std::memcpy(table + i * PAIR_BYTES, &id, 4);
    std::memcpy(table + i * PAIR_BYTES + 4, &position, 4);
}

bool find_pair(const char *table, std::size_t pairs, uint32_t id, uint32_t &position) {
    for (std::size_t i = 0; i < pairs; ++i) {
        uint32_t pair_id;
        std::memcpy(&pair_id, table + i * PAIR_BYTES, 4);
        if (pair_id == id) {
            std::memcpy(&position, table + i * PAIR_BYTES + 4, 4);
            return true;
        }
    }
    return false;
}

void send_labels(brindle_bytes list, int32_t m, const char *table, std::size_t pairs, int32_t rate,
                 const brindle_sink &out, const brindle_log *log) {
    bytes::Cursor c(list.data, list.size);
    // adtl is looked for at every fourth byte.
    for (;;) {
        const auto code = c.fourcc();
        if (!code) {
            brindle_note(log, "LIST: no adtl at any fourth byte of its %zu; no labels", c.size());
            return;
        }
        if (*code == ID_ADTL) break;
    }

    char name[BRINDLE_NAME_BYTES];
    for (int32_t i = 0; i < m; ++i) {
        const std::size_t from = c.pos();
        const auto id = (c.find(ID_LABL) && c.skip(8)) ? c.u32le() : std::nullopt;
        if (!id) {
            brindle_note(log, "LIST: label %d of %d: no whole labl from byte %zu on; the label pass ends",
                         i + 1, m, from);
            return;
        }
        // The cursor stays at the text: the next search starts there, and
        // the text may itself hold labl.
        const auto rest = c.rest();
        const auto *text = reinterpret_cast<const char *>(rest.data());
        const std::size_t limit = std::min<std::size_t>(rest.size(), 255);
        const void *nul = std::memchr(text, 0, limit);
        const std::size_t length =
            nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - text) : limit;
        uint32_t position;
        if (!find_pair(table, pairs, *id, position)) {
            brindle_note(
                log, "LIST: label %d of %d at byte %zu: cue point id %u is not in the cue chunk; passed over",
                i + 1, m, c.pos() - 12, *id);
            out.orphan_label(out.ctx, *id);
            continue;
        }
        if (length == 0) {
            ntostr(name, *id);
        } else {
            std::memcpy(name, text, length);
            name[length] = '\0';
        }
        out.marker(out.ctx, name, brindle_time{position, true, BRINDLE_DOUBLE, rate});
    }
}

}  // namespace

brindle_wave_result brindle_wave_build(brindle_bytes cue, brindle_bytes list, brindle_bytes smpl,
                                       int32_t rate, const brindle_memory &mem, const brindle_sink &out,
                                       const brindle_log *log) {
    const int64_t n = loop_count(smpl, log);
    const bool labels_held = cue.data && cue.size && list.data && list.size;
    if (!labels_held) {
        out.count(out.ctx, wrap32(2 * n));
        send_loops(smpl, n, rate, out, log);
        return BRINDLE_WAVE_DONE;
    }

    bytes::Cursor c(cue.data, cue.size);
    const int32_t m = c.i32le().value_or(0);
    out.count(out.ctx, wrap32(int64_t{m} + 2 * n));
    if (m < 0) brindle_note(log, "cue: %d cue points announced; no labels", m);

    if (m > 0) {
        const int64_t table_bytes = int64_t{m} * static_cast<int64_t>(PAIR_BYTES);
        char *table =
            table_bytes <= MAX_TABLE ? mem.get(mem.ctx, static_cast<int32_t>(table_bytes)) : nullptr;
        if (!table) {
            brindle_note(log,
                         "cue: no block for the table of %d cue points (%lld bytes, a block holds at most "
                         "32767); nothing follows the count",
                         m, static_cast<long long>(table_bytes));
            return BRINDLE_WAVE_TABLE_REFUSED;
        }
        const std::size_t pairs = std::min(static_cast<std::size_t>(m), c.remaining() / CUE_POINT_BYTES);
        if (pairs < static_cast<std::size_t>(m))
            brindle_note(log, "cue: %d cue points announced, %zu held whole", m, pairs);
        // Only cue points the chunk holds whole are read: none of these fails.
        for (std::size_t i = 0; i < pairs; ++i) {
            const uint32_t id = c.u32le().value_or(0);
            const uint32_t position = c.u32le().value_or(0);
            c.skip(16);
            put_pair(table, i, id, position);
        }
        send_labels(list, m, table, pairs, rate, out, log);
        mem.release(mem.ctx, table, static_cast<int32_t>(table_bytes));
    }
    send_loops(smpl, n, rate, out, log);
    return BRINDLE_WAVE_DONE;
}
