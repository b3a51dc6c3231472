// AIFF and AIFC markers.
//
// Format: the marker chunk (id MARK) of AIFF and AIFC files, as the host's
// sndfile_info copies it, header included.  Every number is big-endian.
//
//   0   4  chunk id                       not examined
//   4   4  chunk size                     not examined: the copy's own size
//                                         (from info.markerChunkSize) bounds
//                                         the walk instead
//   8   2  marker count, unsigned         sent as the count, and walked
//   10     markers, back to back:
//          0  2  id, unsigned             names a marker whose name is empty
//          2  4  position, unsigned       sample frames
//          6  1  name length n            0 to 255
//          7  n  name characters          no terminator
//          7+n   one pad byte when n is even, so that length byte, text and
//                pad take an even number of bytes
//
// Assumes nothing of the count: a count that promises more markers than the
// copy holds, or a name that runs past its end, ends the walk after the last
// whole marker; the count already sent stays.  A count that cannot be read
// at all is sent as 0.  Names are taken byte for byte; peakMode drops one
// trailing blank from a non-empty name.
#include <cstring>

#include "brindle_core.h"
#include "byte_cursor.h"

void brindle_aiff_walk(brindle_bytes chunk, int32_t rate, const int32_t *peakMode, const brindle_sink &out,
                       const brindle_log *log) {
    bytes::Cursor c(chunk.data, chunk.size);
    const auto count = c.skip(8) ? c.u16be() : std::nullopt;
    if (!count) {
        if (chunk.size != 0)
            brindle_note(log, "MARK: %zu bytes, too few for the marker count at byte 8; count 0", c.size());
        out.count(out.ctx, 0);
        return;
    }
    out.count(out.ctx, *count);

    char name[BRINDLE_NAME_BYTES];
    for (uint32_t i = 0; i < *count; ++i) {
        const std::size_t at = c.pos();
        auto cut = [&] {
            brindle_note(
                log, "MARK: marker %u of %u at byte %zu: cut short by the end of the chunk; the walk ends",
                i + 1, unsigned{*count}, at);
        };
        const auto id = c.u16be();
        if (!id) return cut();
        const auto position = c.u32be();
        if (!position) return cut();
        const auto length = c.u8();
        if (!length) return cut();
        const auto text = c.take(*length);
        if (!text) {
            brindle_note(
                log,
                "MARK: marker %u of %u at byte %zu: its name of %u bytes runs past the end of the chunk; "
                "the walk ends",
                i + 1, unsigned{*count}, at, unsigned{*length});
            return;
        }
        std::memcpy(name, text->data(), *length);
        name[*length] = '\0';
        if (*length == 0) {
            ntostr(name, *id);
        } else if (*peakMode == 1 && name[*length - 1] == ' ') {
            name[*length - 1] = '\0';
        }
        out.marker(out.ctx, name, brindle_time{*position, false, BRINDLE_SINGLE, rate});
        // A pad byte missing at the very end of the copy costs nothing: no
        // marker can follow it.
        if (*length % 2 == 0 && !c.skip(1)) {
            if (i + 1 < *count)
                brindle_note(
                    log,
                    "MARK: marker %u of %u at byte %zu: cut short by the end of the chunk; the walk ends",
                    i + 2, unsigned{*count}, c.pos());
            return;
        }
    }
}
