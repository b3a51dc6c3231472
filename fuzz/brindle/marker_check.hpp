// What a marker walk owes its sink, checked as a fuzzer drives it: the
// count once and before any marker, every name within its 256-byte buffer,
// times signed as the format stores them, and never more markers than the
// count announced.  A broken promise aborts, which the fuzzer reports.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "brindle_core.h"

class MarkerCheck {
public:
    explicit MarkerCheck(bool signed_times) : signed_times_(signed_times) {}

    brindle_sink sink() { return brindle_sink{this, on_count, on_marker, on_orphan}; }

    // After the walk: the count came, and no more markers than it said (a
    // negative count announces none).
    void finish() const {
        if (counts_ != 1 || markers_ > (count_ > 0 ? count_ : 0)) std::abort();
    }

private:
    static void on_count(void *c, int32_t n) {
        auto *k = static_cast<MarkerCheck *>(c);
        ++k->counts_;
        k->count_ = n;
    }

    static void on_marker(void *c, const char *name, brindle_time t) {
        auto *k = static_cast<MarkerCheck *>(c);
        if (k->counts_ != 1 || std::strlen(name) > 255 || t.is_signed != k->signed_times_) std::abort();
        (void)brindle_time_ms(t);
        ++k->markers_;
    }

    // Only WAVE has labels to orphan.
    static void on_orphan(void *, uint32_t) { std::abort(); }

    bool signed_times_;
    int counts_ = 0;
    int32_t count_ = 0;
    int32_t markers_ = 0;
};

// The readers' parse log, on: every line a whole, non-empty text that fits
// the formatter's buffer.  Walks run with it on and off must send the same.
inline const brindle_log *checked_log() {
    static const brindle_log log{nullptr, [](void *, const char *text) {
                                     const std::size_t n = std::strlen(text);
                                     if (n == 0 || n >= 512) std::abort();
                                 }};
    return &log;
}
