// Sound-file information for AIFF and AIFC files.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct t_sndfileinfo {
    int32_t sampleRate;  // whole samples per second; the first field
    int32_t channels;
    int32_t sampleBits;
    int32_t frames;
    t_fourcc format;          // the form type: AIFF or AIFC
    char *markerChunk;        // copy of the MARK chunk, header included, or null
    int32_t markerChunkSize;  // low 16 bits: the copy's size for freebytes
} t_sndfileinfo;

// Fills info for an AIFF or AIFC file; 0 on success.  The marker chunk copy
// belongs to the caller, who frees it with freebytes.  On failure
// markerChunk is null.
short sndfile_info(const char *name, short path, t_fourcc type, t_sndfileinfo *info);

#ifdef __cplusplus
}
#endif
