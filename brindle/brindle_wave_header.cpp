// WAVE header walk.
//
// Format: RIFF.  After the 12-byte header (RIFF, file size, WAVE), which the
// open steps over unread, come chunks back to back to the end of the file:
//
//   0   4  chunk id                       four characters, compared as stored
//   4   4  data size, unsigned, little-endian
//   8      data, then one pad byte when the size is odd
//
// Chunks this walk uses:
//   fmt   data bytes 4 to 7 are the sample rate (unsigned, little-endian).
//         A format chunk too small to hold it is stepped over.
//   cue   kept whole.
//   LIST  kept whole when its list type (its first four data bytes) is adtl,
//         the associated-data list that holds the labels; a later adtl list
//         replaces an earlier one.  Lists of any other type (INFO) are
//         stepped over unread, whatever their size.
//   smpl  the first is kept whole; later ones are stepped over.
// Every other chunk, the audio data included, is stepped over unread.
//
// A kept chunk lives in a getbytes block, so it holds at most 32767 bytes; a
// larger one ends the walk with its message.  A chunk whose data the file
// cuts short is kept with the missing bytes as zeros; the walk then ends at
// the next chunk id, which cannot be read.  A step that would leave the file
// also ends the walk: nothing can follow it.  Cue points are useless without
// their labels, so the cue data is kept only together with label data.
#include <cstring>

#include "brindle_core.h"
#include "byte_cursor.h"

namespace {

constexpr uint32_t ID_FMT = FOUR_CHAR_CODE('f', 'm', 't', ' ');
constexpr uint32_t ID_CUE = FOUR_CHAR_CODE('c', 'u', 'e', ' ');
constexpr uint32_t ID_LIST = FOUR_CHAR_CODE('L', 'I', 'S', 'T');
constexpr uint32_t ID_SMPL = FOUR_CHAR_CODE('s', 'm', 'p', 'l');
constexpr uint32_t LIST_ADTL = FOUR_CHAR_CODE('a', 'd', 't', 'l');
constexpr int64_t MAX_KEPT = 32767;

// Reads n bytes; false when fewer came, *got (when asked) saying how many.
bool read_exact(const brindle_stream &in, void *buf, int64_t n, int64_t *got = nullptr) {
    int64_t count = n;
    const bool whole = in.read(in.ctx, &count, buf) == 0 && count == n;
    if (got) *got = count;
    return whole;
}

bool skip(const brindle_stream &in, int64_t n) { return n == 0 || in.skip(in.ctx, n) == 0; }

// A chunk id for the log, a character that cannot be printed as '?'.
struct id_text {
    char s[5];
    explicit id_text(uint32_t id) {
        for (int k = 0; k < 4; ++k) {
            const char ch = static_cast<char>(id >> (24 - 8 * k));
            s[k] = ch >= 0x20 && ch < 0x7f ? ch : '?';
        }
        s[4] = '\0';
    }
};

// Reads size bytes into a new block, the first `head` of which were read
// already.  False when no block could be had.
bool keep(const brindle_stream &in, const brindle_memory &mem, t_dynMemory &d, uint32_t size,
          const uint8_t *head, std::size_t head_size, uint32_t id, int64_t at, const brindle_log *log) {
    if (size > MAX_KEPT) {
        brindle_note(
            log, "WAVE: '%s' chunk at byte %lld: %u bytes, more than a block holds (32767); the walk ends",
            id_text(id).s, static_cast<long long>(at), size);
        return false;
    }
    if (size == 0) return true;  // nothing to hold: a block of 0 counts as none
    char *block = mem.get(mem.ctx, static_cast<int32_t>(size));
    if (!block) {
        brindle_note(log, "WAVE: '%s' chunk at byte %lld: no block for its %u bytes; the walk ends",
                     id_text(id).s, static_cast<long long>(at), size);
        return false;
    }
    std::memset(block, 0, size);
    if (head_size != 0) std::memcpy(block, head, head_size);
    // A short read leaves zeros in place of what the file did not have.
    int64_t count = static_cast<int64_t>(size - head_size);
    in.read(in.ctx, &count, block + head_size);
    if (count < static_cast<int64_t>(size - head_size))
        brindle_note(
            log,
            "WAVE: '%s' chunk at byte %lld: the file ends after %lld of its %u bytes; the rest reads "
            "as zeros",
            id_text(id).s, static_cast<long long>(at), static_cast<long long>(count + head_size), size);
    d.ptr = block;
    d.size = static_cast<int16_t>(size);
    return true;
}

}  // namespace

void brindle_release_block(const brindle_memory &mem, t_dynMemory &d) {
    if (d.size != 0) {
        mem.release(mem.ctx, d.ptr, d.size);
        d.size = 0;
    }
}

brindle_walk_end brindle_wave_header_walk(const brindle_stream &in, const brindle_memory &mem,
                                          const brindle_wave_data &out, const brindle_log *log) {
    brindle_release_block(mem, *out.smpl);
    *out.sampleRate = 0;
    if (out.rateStated) *out.rateStated = false;
    bool smpl_seen = false;
    // Offset in the file of the chunk at hand, for the log: the walk starts
    // past the RIFF header.
    int64_t at = 12;
    auto past_end = [&](uint32_t id, uint32_t size) {
        brindle_note(
            log, "WAVE: '%s' chunk at byte %lld: its %u bytes run past the end of the file; the walk ends",
            id_text(id).s, static_cast<long long>(at), size);
    };

    for (;;) {
        uint8_t header[8];
        int64_t got = 0;
        if (!read_exact(in, header, 8, &got)) {
            if (got != 0)
                brindle_note(log, "WAVE: chunk header at byte %lld cut short, %lld of 8 bytes; the walk ends",
                             static_cast<long long>(at), static_cast<long long>(got));
            break;
        }
        bytes::Cursor h(header);
        const uint32_t id = *h.fourcc();
        const uint32_t size = *h.u32le();
        const int64_t pad = size & 1;
        const int64_t next = at + 8 + int64_t{size} + pad;

        if (id == ID_FMT && size >= 8) {
            uint8_t rate[4];
            if (!skip(in, 4) || !read_exact(in, rate, 4)) {
                brindle_note(log,
                             "WAVE: 'fmt ' chunk at byte %lld: the file ends before its rate; the walk ends",
                             static_cast<long long>(at));
                break;
            }
            *out.sampleRate = static_cast<int32_t>(*bytes::Cursor(rate).u32le());
            if (out.rateStated) *out.rateStated = true;
            if (!skip(in, int64_t{size} - 8 + pad)) {
                past_end(id, size);
                break;
            }
        } else if (id == ID_CUE) {
            brindle_release_block(mem, *out.cue);
            if (!keep(in, mem, *out.cue, size, nullptr, 0, id, at, log)) {
                brindle_release_block(mem, *out.list);
                return BRINDLE_WALK_CUE_TOO_LONG;
            }
            if (!skip(in, pad)) break;
        } else if (id == ID_LIST && size >= 4) {
            uint8_t type[4];
            if (!read_exact(in, type, 4)) {
                past_end(id, size);
                break;
            }
            const uint32_t list_type = *bytes::Cursor(type).fourcc();
            if (list_type != LIST_ADTL) {
                brindle_note(log, "WAVE: 'LIST' chunk at byte %lld: of type '%s', not adtl; passed over",
                             static_cast<long long>(at), id_text(list_type).s);
                if (!skip(in, int64_t{size} - 4 + pad)) {
                    past_end(id, size);
                    break;
                }
                at = next;
                continue;
            }
            if (out.list->size != 0)
                brindle_note(log,
                             "WAVE: 'LIST' chunk at byte %lld: an adtl list that replaces an earlier one",
                             static_cast<long long>(at));
            brindle_release_block(mem, *out.list);
            if (!keep(in, mem, *out.list, size, type, 4, id, at, log)) {
                brindle_release_block(mem, *out.cue);
                return BRINDLE_WALK_LIST_TOO_LONG;
            }
            if (!skip(in, pad)) break;
        } else if (id == ID_SMPL && !smpl_seen) {
            smpl_seen = true;
            if (!keep(in, mem, *out.smpl, size, nullptr, 0, id, at, log)) return BRINDLE_WALK_SMPL_TOO_LONG;
            if (!skip(in, pad)) break;
        } else {
            if (id == ID_FMT || id == ID_LIST)
                brindle_note(log, "WAVE: '%s' chunk at byte %lld: %u bytes, too few to read; passed over",
                             id_text(id).s, static_cast<long long>(at), size);
            else if (id == ID_SMPL)
                brindle_note(log, "WAVE: 'smpl' chunk at byte %lld: not the first; passed over",
                             static_cast<long long>(at));
            if (!skip(in, int64_t{size} + pad)) {
                past_end(id, size);
                break;
            }
        }
        at = next;
    }

    if (out.cue->size == 0 || out.list->size == 0) {
        if (out.cue->size != 0)
            brindle_note(log, "WAVE: a cue chunk but no adtl list: no labels, the cue points are dropped");
        if (out.list->size != 0)
            brindle_note(log, "WAVE: an adtl list but no cue chunk: the labels are dropped");
        brindle_release_block(mem, *out.cue);
        brindle_release_block(mem, *out.list);
    }
    return BRINDLE_WALK_END_OF_FILE;
}
