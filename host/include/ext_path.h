// Finding files: the host's search path, its file dialog, and opening data
// files and resource forks found there.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MAX_FILENAME_CHARS 256  // 255 characters and the NUL

#define READ_PERM 1

// An open data file.
typedef struct t_sysfile *t_filehandle;

// Searches the host's search path for name among files of the listed types.
// 0 when found, with *outpath and *outtype filled and name rewritten to the
// file's own name within that path (a name given with folders loses them);
// otherwise all three are left untouched.  A name of more than 255
// characters is refused, never shortened.
short locatefile_extended(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
                          short numtypes);

// Lets the user choose a file of the listed types.  0 when one was chosen,
// with name (MAX_FILENAME_CHARS bytes), *outpath and *outtype filled;
// non-zero when cancelled.
short open_dialog(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist, short numtypes);

// Opens name in path for reading (perm READ_PERM); 0 on success.
short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm);

// Opens the resource fork of name in path and makes it the current resource
// file; 0 on success, with *ref its reference.
short path_openresfile(const char *name, short path, short *ref, short perm);

#ifdef __cplusplus
}
#endif
