// A queue from threads that must not wait (a host's audio or scheduler
// thread) to the one thread that takes from it (the host's main thread).
// Its storage is made with the queue: putting an entry allocates nothing,
// and the taker takes no lock, so a putter never waits for it.  Putters are
// one at a time, by a lock of the caller's that the taker never takes.
//
// An entry is a header and a run of atoms.  A long run takes several slots
// in a row and never wraps round the end of the storage (the slots left at
// the end are skipped), so that the taker reads it in one piece.  A queue
// that has no room for an entry refuses it whole: the caller decides what
// becomes of it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace hostcommon {

template <class Header, class Atom>
class Handoff {
public:
    // slots entries of up to atoms_per_slot atoms each; an entry of more
    // takes as many slots as it fills.
    Handoff(std::size_t slots, std::size_t atoms_per_slot)
        : n_(std::max<std::size_t>(slots, 1)),
          per_(std::max<std::size_t>(atoms_per_slot, 1)),
          slots_(std::make_unique<Slot[]>(n_)),
          atoms_(std::make_unique<Atom[]>(n_ * per_)) {}

    // The most atoms one entry can hold.
    std::size_t max_atoms() const { return n_ * per_; }

    // A putter's call: false, with nothing put, when the queue has no room.
    bool put(const Header &header, std::span<const Atom> atoms) {
        const std::size_t need = std::max<std::size_t>(1, (atoms.size() + per_ - 1) / per_);
        if (need > n_) return false;
        uint64_t end = put_end_;
        std::size_t at = static_cast<std::size_t>(end % n_);
        const std::size_t skip = at + need > n_ ? n_ - at : 0;
        if (end + skip + need - taken_.load(std::memory_order_acquire) > n_) return false;
        if (skip) {
            slots_[at] = Slot{Header{}, 0, skip, true};
            end += skip;
            at = 0;
        }
        slots_[at] = Slot{header, atoms.size(), need, false};
        std::copy(atoms.begin(), atoms.end(), atoms_.get() + at * per_);
        end += need;
        put_end_ = end;
        published_.store(end, std::memory_order_release);
        return true;
    }

    // The taker's call: take(header, atoms) for every entry, in the order
    // put, until the queue is empty (entries put meanwhile included).  An
    // entry's slots are free again once take returns.
    template <class Take>
    void take_all(Take &&take) {
        uint64_t pos = taken_.load(std::memory_order_relaxed);
        for (uint64_t end; (end = published_.load(std::memory_order_acquire)) != pos;) {
            while (pos != end) {
                const std::size_t at = static_cast<std::size_t>(pos % n_);
                const Slot slot = slots_[at];
                if (!slot.skip)
                    take(slot.header, std::span<const Atom>(atoms_.get() + at * per_, slot.count));
                pos += slot.span;
                taken_.store(pos, std::memory_order_release);
            }
        }
    }

    // The taker's call: change(header) for every entry still waiting.
    template <class Change>
    void change_waiting(Change &&change) {
        const uint64_t end = published_.load(std::memory_order_acquire);
        for (uint64_t pos = taken_.load(std::memory_order_relaxed); pos != end;) {
            Slot &slot = slots_[static_cast<std::size_t>(pos % n_)];
            if (!slot.skip) change(slot.header);
            pos += slot.span;
        }
    }

private:
    struct Slot {
        Header header{};
        std::size_t count = 0;  // atoms
        std::size_t span = 1;   // slots taken, this one included
        bool skip = false;      // slots left unused at the end of the storage
    };

    const std::size_t n_;
    const std::size_t per_;
    std::unique_ptr<Slot[]> slots_;
    std::unique_ptr<Atom[]> atoms_;
    uint64_t put_end_ = 0;                // the putters', under their lock
    std::atomic<uint64_t> published_{0};  // where the entries put end
    std::atomic<uint64_t> taken_{0};      // where the entries not yet taken start
};

}  // namespace hostcommon
