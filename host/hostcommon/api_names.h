// Every name the Max API declarations give a function or a global, each
// renamed through MAXAPI_RENAMED, which the host that forces this list into
// the plug-in sources defines first (host/pd/names.h, host/max/names.h).
// Inside a Pd external or a Max external, a plug-in's call to post or
// gensym must reach the adapter's own function, never the one of the same
// name that the application exports.  The builds read this list to check
// that no plug-in object refers to one of these names unrenamed.
//
// One "#define NAME MAXAPI_RENAMED(NAME)" per line; nothing else defines a
// macro here.
#pragma once

#ifndef MAXAPI_RENAMED
#error "define MAXAPI_RENAMED(name) before including api_names.h"
#endif

// host/include/ext.h
#define setup MAXAPI_RENAMED(setup)
#define addmess MAXAPI_RENAMED(addmess)
#define addbang MAXAPI_RENAMED(addbang)
#define newobject MAXAPI_RENAMED(newobject)
#define outlet_new MAXAPI_RENAMED(outlet_new)
#define intout MAXAPI_RENAMED(intout)
#define listout MAXAPI_RENAMED(listout)
#define bangout MAXAPI_RENAMED(bangout)
#define floatout MAXAPI_RENAMED(floatout)
#define outlet_int MAXAPI_RENAMED(outlet_int)
#define outlet_float MAXAPI_RENAMED(outlet_float)
#define outlet_bang MAXAPI_RENAMED(outlet_bang)
#define outlet_list MAXAPI_RENAMED(outlet_list)
#define outlet_anything MAXAPI_RENAMED(outlet_anything)
#define post MAXAPI_RENAMED(post)
#define error MAXAPI_RENAMED(error)
#define ouchstring MAXAPI_RENAMED(ouchstring)
#define getbytes MAXAPI_RENAMED(getbytes)
#define freebytes MAXAPI_RENAMED(freebytes)
#define t_getbytes MAXAPI_RENAMED(t_getbytes)
#define t_freebytes MAXAPI_RENAMED(t_freebytes)
#define disposhandle MAXAPI_RENAMED(disposhandle)
#define gensym MAXAPI_RENAMED(gensym)
#define ptoccpy MAXAPI_RENAMED(ptoccpy)
#define defer_low MAXAPI_RENAMED(defer_low)
#define atom_setlong MAXAPI_RENAMED(atom_setlong)
#define atom_setfloat MAXAPI_RENAMED(atom_setfloat)
#define atom_setsym MAXAPI_RENAMED(atom_setsym)

// host/include/z_dsp.h
#define z_add_signalmethod MAXAPI_RENAMED(z_add_signalmethod)
#define z_dsp_setup MAXAPI_RENAMED(z_dsp_setup)
#define z_dsp_free MAXAPI_RENAMED(z_dsp_free)
#define dsp_add MAXAPI_RENAMED(dsp_add)
#define set_zero MAXAPI_RENAMED(set_zero)
#define sys_getsr MAXAPI_RENAMED(sys_getsr)

// host/include/ext_path.h, ext_sysfile.h, ext_sndfile.h
#define locatefile_extended MAXAPI_RENAMED(locatefile_extended)
#define open_dialog MAXAPI_RENAMED(open_dialog)
#define path_opensysfile MAXAPI_RENAMED(path_opensysfile)
#define path_openresfile MAXAPI_RENAMED(path_openresfile)
#define sysfile_setpos MAXAPI_RENAMED(sysfile_setpos)
#define sysfile_read MAXAPI_RENAMED(sysfile_read)
#define sysfile_close MAXAPI_RENAMED(sysfile_close)
#define sndfile_info MAXAPI_RENAMED(sndfile_info)

// host/include/Resources.h
#define CurResFile MAXAPI_RENAMED(CurResFile)
#define UseResFile MAXAPI_RENAMED(UseResFile)
#define GetResource MAXAPI_RENAMED(GetResource)
#define DetachResource MAXAPI_RENAMED(DetachResource)
#define CloseResFile MAXAPI_RENAMED(CloseResFile)
#define ResError MAXAPI_RENAMED(ResError)
#define GetHandleSize MAXAPI_RENAMED(GetHandleSize)

// host/include/CFBundle.h
#define __CFStringMakeConstantString MAXAPI_RENAMED(CFStringMakeConstantString)
#define kCFBundleVersionKey MAXAPI_RENAMED(kCFBundleVersionKey)
#define CFBundleGetBundleWithIdentifier MAXAPI_RENAMED(CFBundleGetBundleWithIdentifier)
#define CFBundleGetValueForInfoDictionaryKey MAXAPI_RENAMED(CFBundleGetValueForInfoDictionaryKey)
#define CFStringGetCString MAXAPI_RENAMED(CFStringGetCString)
#define CFRetain MAXAPI_RENAMED(CFRetain)
#define CFRelease MAXAPI_RENAMED(CFRelease)

// The plug-in's entry point, called by the host's own entry point.
#define main MAXAPI_RENAMED(main)
