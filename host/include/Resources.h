// The Resource Manager subset used to copy resources out of a resource fork.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef char **Handle;
typedef int16_t OSErr;
typedef uint32_t ResType;
typedef int16_t ResID;

enum {
// On macOS the Max SDK's headers bring in the system's MacTypes.h, whose
// noErr (also 0) stands.
#ifndef __MACTYPES__
    noErr = 0,
#endif
    resNotFound = -192,   // no resource of that type and id
    resFNotFound = -193,  // no resource fork, or an empty one
    mapReadErr = -199     // a map that does not hold together
};

short CurResFile(void);
void UseResFile(short ref);
// The resource of that type and id in the current resource file, or null.
Handle GetResource(ResType type, ResID id);
// Hands the resource to the caller, who frees it with disposhandle.
void DetachResource(Handle h);
void CloseResFile(short ref);
OSErr ResError(void);

// The number of data bytes a handle holds (the Memory Manager's call); 0 for
// a handle the host did not give.
int32_t GetHandleSize(Handle h);

#ifdef __cplusplus
}
#endif
