// brindle~: the readers as the object runs them, and the release of the
// data they read.  Each hands the data the record holds to its format's walk
// (brindle_core) and connects the walk to the outlets, the console and the
// host's memory.
#include "brindle.h"

namespace {

// --- the outlets -----------------------------------------------------------

void send_count(void *ctx, int32_t n) { outlet_int(static_cast<t_brindle *>(ctx)->countOutlet, n); }

// outputMode is read for every marker: a receiver of one list may change it
// for the next.
void send_marker(void *ctx, const char *name, brindle_time t) {
    auto *x = static_cast<t_brindle *>(ctx);
    t_atom atoms[2];
    atom_setsym(&atoms[0], gensym(name));
    if (x->outputMode == 1) {
        atom_setlong(&atoms[1], brindle_time_frames(t));
    } else {
        atom_setfloat(&atoms[1], brindle_time_ms(t));
    }
    outlet_list(x->listOutlet, gensym("list"), 2, atoms);
}

void orphan_label(void *, uint32_t) { error("Inconsistance in the WAVE header))"); }

brindle_sink outlets(t_brindle *x) { return brindle_sink{x, send_count, send_marker, orphan_label}; }

// --- the data held -----------------------------------------------------------

brindle_bytes held(const t_dynMemory &d) {
    if (d.size <= 0) return brindle_bytes{nullptr, 0};
    return brindle_bytes{reinterpret_cast<const uint8_t *>(d.ptr), static_cast<std::size_t>(d.size)};
}

brindle_bytes handle_bytes(Handle h) {
    if (!h || !*h) return brindle_bytes{nullptr, 0};
    return brindle_bytes{reinterpret_cast<const uint8_t *>(*h), static_cast<std::size_t>(GetHandleSize(h))};
}

// --- the open WAVE file ------------------------------------------------------

short file_read(void *ctx, int64_t *count, void *buf) {
    return sysfile_read(static_cast<t_brindle *>(ctx)->fileHandle, count, buf);
}

short file_skip(void *ctx, int64_t offset) {
    return sysfile_setpos(static_cast<t_brindle *>(ctx)->fileHandle, SYSFILE_FROMMARK, offset);
}

// --- host memory -------------------------------------------------------------

char *get_block(void *, int32_t size) { return getbytes(size); }
void release_block(void *, char *p, int32_t size) { freebytes(p, size); }
const brindle_memory host_memory{nullptr, get_block, release_block};

}  // namespace

void freedynMemory(t_dynMemory *d) { brindle_release_block(host_memory, *d); }

// Also the release step at the start of every open: whatever the previous
// file left is given back once and marked empty.
void brindle_free(t_brindle *x) {
    freedynMemory(&x->cueChunk);
    freedynMemory(&x->listChunk);
    freedynMemory(&x->smplChunk);
    if (x->info.markerChunk && x->info.markerChunkSize != 0) {
        freebytes(x->info.markerChunk, static_cast<int16_t>(x->info.markerChunkSize & 0xFFFF));
    }
    x->info.markerChunkSize = 0;
    x->info.markerChunk = nullptr;
    if (x->rateResource) {
        disposhandle(x->rateResource);
        x->rateResource = nullptr;
    }
    if (x->markerResource) {
        disposhandle(x->markerResource);
        x->markerResource = nullptr;
    }
}

// --- AIFF and AIFC -------------------------------------------------------------

void brindle_aiff(t_brindle *x) {
    // The low 16 bits of the size word, read as signed, are the copy's size.
    const int16_t size = static_cast<int16_t>(x->info.markerChunkSize & 0xFFFF);
    brindle_bytes chunk{reinterpret_cast<const uint8_t *>(x->info.markerChunk),
                        size > 0 ? static_cast<std::size_t>(size) : 0};
    brindle_aiff_walk(chunk, x->info.sampleRate, &x->peakMode, outlets(x));
}

// --- Sound Designer II -----------------------------------------------------------

int32_t LoadResources(const char *name, short pathId, Handle *rate, Handle *markers) {
    const short previous = CurResFile();
    short fork = 0;
    if (path_openresfile(name, pathId, &fork, READ_PERM) != 0) {
        UseResFile(previous);
        return resFNotFound;
    }
    // The error is taken before closing, which may clear it; a missing
    // resource always gives a code, even when the Resource Manager has none.
    auto failed = [&]() -> int32_t {
        OSErr err = ResError();
        CloseResFile(fork);
        UseResFile(previous);
        return err != noErr ? int32_t{err} : int32_t{resNotFound};
    };
    *rate = GetResource(FOUR_CHAR_CODE('S', 'T', 'R', ' '), 1001);
    if (!*rate) return failed();
    DetachResource(*rate);
    *markers = GetResource(FOUR_CHAR_CODE('s', 'd', 'M', 'L'), 1000);
    if (!*markers) return failed();
    DetachResource(*markers);
    CloseResFile(fork);
    UseResFile(previous);
    return noErr;
}

void brindle_SDII(t_brindle *x) {
    // After a failed or cancelled open the type can still say Sd2f with
    // nothing held: like the other readers, that is a count of 0.
    if (!x->rateResource || !x->markerResource) {
        outlet_int(x->countOutlet, 0);
        return;
    }
    x->sampleRate = brindle_sd2_rate(handle_bytes(x->rateResource));
    brindle_sd2_walk(handle_bytes(x->markerResource), x->sampleRate, outlets(x));
}

// --- WAVE ------------------------------------------------------------------------

void brindle_loadwaveheader(t_brindle *x) {
    const brindle_stream file{x, file_read, file_skip};
    switch (brindle_wave_header_walk(
        file, host_memory, brindle_wave_data{&x->sampleRate, &x->cueChunk, &x->listChunk, &x->smplChunk})) {
    case BRINDLE_WALK_CUE_TOO_LONG: error("getbytes problem, maybe the header is too long (cue )"); break;
    case BRINDLE_WALK_LIST_TOO_LONG: error("getbytes problem, maybe the header is too long (LIST)"); break;
    case BRINDLE_WALK_SMPL_TOO_LONG: error("getbytes problem, maybe the header is too long (smpl)"); break;
    case BRINDLE_WALK_END_OF_FILE: break;
    }
}

void brindle_wave(t_brindle *x) {
    // A receiver of the count or of a marker may send bang, so runs of one
    // box can nest.  The cue and label blocks an outer run is still reading
    // must outlive a refused inner run: they go when the box's outermost run
    // ends.  Runs of other boxes have blocks of their own and do not count.
    ++x->waveRuns;
    const auto result = brindle_wave_build(held(x->cueChunk), held(x->listChunk), held(x->smplChunk),
                                           x->sampleRate, host_memory, outlets(x));
    --x->waveRuns;
    if (result == BRINDLE_WAVE_TABLE_REFUSED) {
        error("getbytes problem, maybe the header is too long");
        x->waveRefused = 1;
    }
    // Later runs then send only the loops.
    if (x->waveRuns == 0 && x->waveRefused) {
        x->waveRefused = 0;
        freedynMemory(&x->cueChunk);
        freedynMemory(&x->listChunk);
    }
}
