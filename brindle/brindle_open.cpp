// brindle~: opening a sound file.  The open message only queues the work;
// brindle_opendefered runs from the host's low-priority queue, after the
// message that asked for it, and never during another message of the box.
#include <cstring>

#include "brindle.h"

namespace {

// The types offered by the dialog and found on the search path.
const t_fourcc FILE_TYPES[4] = {BRINDLE_AIFF, BRINDLE_AIFC, BRINDLE_WAVE, BRINDLE_SD2};

void open_wave(t_brindle *x) {
    // A file without a format chunk must not inherit an earlier file's rate.
    x->sampleRate = 0;
    if (path_opensysfile(x->fileName, x->pathId, &x->fileHandle, READ_PERM) != 0) {
        error("File open error - wave - carbon");
        return;
    }
    // The RIFF header (id, size, form type) is skipped unread.
    if (sysfile_setpos(x->fileHandle, SYSFILE_FROMMARK, 12) != 0) {
        error("WAVE Header looks strange");
    } else {
        brindle_loadwaveheader(x);
    }
    sysfile_close(x->fileHandle);
    x->fileHandle = nullptr;
    if (x->outputOnOpen) brindle_wave(x);
}

}  // namespace

void brindle_open(t_brindle *x, t_symbol *s) {
    defer_low(x, brindle_method(brindle_opendefered), s, 0, nullptr);
}

void brindle_opendefered(t_brindle *x, t_symbol *s, short, t_atom *) {
    t_fourcc types[4];
    std::memcpy(types, FILE_TYPES, sizeof types);

    // The previous file's data go first, whatever follows.
    brindle_free(x);

    const char *name = s ? s->s_name : "";
    if (name[0] == '\0') {
        if (open_dialog(x->fileName, &x->pathId, &x->fileType, types, 4) != 0) return;
    } else {
        // A name that does not fit fileName names no file we could open;
        // cutting it could find a different one.
        if (std::strlen(name) >= sizeof x->fileName) {
            error("File not found?");
            return;
        }
        std::strcpy(x->fileName, name);
        if (locatefile_extended(x->fileName, &x->pathId, &x->fileType, types, 4) != 0) {
            error("File not found?");
            return;
        }
    }

    switch (x->fileType) {
    case BRINDLE_AIFF:
    case BRINDLE_AIFC:
        if (sndfile_info(x->fileName, x->pathId, x->fileType, &x->info) != 0) {
            error("sndfile_info error");
        }
        if (x->outputOnOpen) brindle_aiff(x);
        break;
    case BRINDLE_WAVE: open_wave(x); break;
    case BRINDLE_SD2: {
        const int32_t err = LoadResources(x->fileName, x->pathId, &x->rateResource, &x->markerResource);
        if (err != 0) {
            error("error - sdII - carbon load res fork: %ld", static_cast<long>(err));
            return;
        }
        if (x->outputOnOpen) brindle_SDII(x);
        break;
    }
    default: error("Bad file type"); break;
    }
}
