// Reading open data files.
#pragma once

#include "ext_path.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    SYSFILE_ATMARK = 0,
    SYSFILE_FROMSTART = 1,
    SYSFILE_FROMLEOF = 2,
    SYSFILE_FROMMARK = 3  // relative to the current position
} t_sysfile_pos_mode;

// Moves the position; 0 on success.  A position before the start or past
// the end of the file fails and leaves the position where it was.
short sysfile_setpos(t_filehandle fh, t_sysfile_pos_mode mode, int64_t offset);

// Reads *count bytes at the position into buf and sets *count to the number
// read.  0 when all were read; non-zero at the end of the file or on error.
short sysfile_read(t_filehandle fh, int64_t *count, void *buf);

short sysfile_close(t_filehandle fh);

#ifdef __cplusplus
}
#endif
