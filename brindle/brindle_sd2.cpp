// Sound Designer II markers.
//
// Format: two resources of the file's resource fork, copied out whole.
// Every number is big-endian.
//
// STR  1001, the sample rate: one length byte, then that many characters of
// a decimal number, with or without a fraction ("44100.000").  The rate is
// the number read as a single-precision float with its fraction cut off.
// Text that holds no number, or a number that does not fit 32 bits signed
// (this includes "inf" and "nan"), states no rate, and the times are then
// worked out with 0.  A length byte that
// promises more characters than the resource holds is cut to what it holds.
//
// sdML 1000, the marker list:
//   0   6  header                         not interpreted
//   6   2  marker count, signed           sent as the count, and walked
//   8      markers, back to back:
//          0   4  not interpreted
//          4   4  position, signed        sample frames
//          8   6  not interpreted
//          14  2  id, signed              names a marker whose name is empty
//          16  4  name length L, signed
//          20  L  name characters         no terminator, no pad byte
//
// A name longer than 255 characters keeps its first 255; a NUL inside a name
// ends it there.  The walk ends at the first marker that does not fit in the
// resource: a count that promises more than it holds, a negative length or a
// name that runs past its end.  The count already sent stays.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "brindle_core.h"
#include "byte_cursor.h"

std::optional<int32_t> brindle_sd2_stated_rate(brindle_bytes text, const brindle_log *log) {
    bytes::Cursor c(text.data, text.size);
    const auto length = c.u8();
    if (!length) {
        brindle_note(log, "STR  1001: empty, no rate");
        return std::nullopt;
    }
    // A length past the end is cut to what the resource holds.
    if (*length > c.remaining())
        brindle_note(log, "STR  1001: a length of %u, but %zu characters held; the text is cut",
                     unsigned{*length}, c.remaining());
    const auto chars = c.take(std::min<std::size_t>(*length, c.remaining()));
    char buf[256];
    std::memcpy(buf, chars->data(), chars->size());
    buf[chars->size()] = '\0';

    // strtof rather than a scanf conversion: it reports a text without a
    // number, and its result is defined for every text.
    char *end = nullptr;
    const float value = std::strtof(buf, &end);
    if (end == buf) {
        brindle_note(log, "STR  1001: \"%s\" holds no number, no rate", buf);
        return std::nullopt;
    }
    // Both bounds are exact floats; the test is false for NaN too.
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) {
        brindle_note(log, "STR  1001: \"%s\" does not fit 32 bits, no rate", buf);
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

void brindle_sd2_walk(brindle_bytes sdml, int32_t rate, const brindle_sink &out, const brindle_log *log) {
    constexpr std::size_t MARKER_HEADER = 20;
    bytes::Cursor c(sdml.data, sdml.size);
    const auto count = c.skip(6) ? c.i16be() : std::nullopt;
    if (!count) {
        brindle_note(log, "sdML 1000: %zu bytes, too few for the marker count at byte 6; count 0", c.size());
        out.count(out.ctx, 0);
        return;
    }
    out.count(out.ctx, *count);

    char name[BRINDLE_NAME_BYTES];
    for (int32_t i = 0; i < *count; ++i) {
        const std::size_t at = c.pos();
        auto m = c.sub(MARKER_HEADER);
        if (!m) {
            brindle_note(log,
                         "sdML 1000: marker %d of %d at byte %zu: cut short by the end of the resource; "
                         "the walk ends",
                         i + 1, int{*count}, at);
            return;
        }
        // The header is whole, so none of these reads can fail.
        m->skip(4);
        const int32_t position = m->i32be().value_or(0);
        m->skip(6);
        const int16_t id = m->i16be().value_or(0);
        const int32_t length = m->i32be().value_or(0);
        if (length < 0) {
            brindle_note(log, "sdML 1000: marker %d of %d at byte %zu: a name length of %d; the walk ends",
                         i + 1, int{*count}, at, length);
            return;
        }
        const auto text = c.take(static_cast<std::size_t>(length));
        if (!text) {
            brindle_note(log,
                         "sdML 1000: marker %d of %d at byte %zu: its name of %d bytes runs past the end of "
                         "the resource; the walk ends",
                         i + 1, int{*count}, at, length);
            return;
        }
        if (length == 0) {
            // The id is widened with its sign and written unsigned: -1 gives
            // 4294967295.
            ntostr(name, static_cast<uint32_t>(static_cast<int32_t>(id)));
        } else {
            const std::size_t n = length > 255 ? 255 : static_cast<std::size_t>(length);
            if (length > 255)
                brindle_note(log, "sdML 1000: marker %d at byte %zu: a name of %d bytes, cut to 255", i + 1,
                             at, length);
            std::strncpy(name, reinterpret_cast<const char *>(text->data()), n);
            name[n] = '\0';
        }
        out.marker(out.ctx, name, brindle_time{static_cast<uint32_t>(position), true, BRINDLE_SINGLE, rate});
    }
}
