// The names the Max API declarations give functions and globals, as an
// external renames them.  Forced into every plug-in source (and read by the
// adapter through max.hpp), so that a plug-in's call to post or gensym
// reaches the adapter's pdmax_post or pdmax_gensym, never the function of
// the same name that the pd binary exports.  The build reads this list to
// check that no plug-in object refers to one of these names unrenamed.
//
// One "#define NAME pdmax_NAME" per line; nothing else defines a macro here.
#pragma once

// host/include/ext.h
#define setup pdmax_setup
#define addmess pdmax_addmess
#define addbang pdmax_addbang
#define newobject pdmax_newobject
#define outlet_new pdmax_outlet_new
#define intout pdmax_intout
#define listout pdmax_listout
#define bangout pdmax_bangout
#define floatout pdmax_floatout
#define outlet_int pdmax_outlet_int
#define outlet_float pdmax_outlet_float
#define outlet_bang pdmax_outlet_bang
#define outlet_list pdmax_outlet_list
#define outlet_anything pdmax_outlet_anything
#define post pdmax_post
#define error pdmax_error
#define ouchstring pdmax_ouchstring
#define getbytes pdmax_getbytes
#define freebytes pdmax_freebytes
#define t_getbytes pdmax_t_getbytes
#define t_freebytes pdmax_t_freebytes
#define disposhandle pdmax_disposhandle
#define gensym pdmax_gensym
#define ptoccpy pdmax_ptoccpy
#define defer_low pdmax_defer_low
#define atom_setlong pdmax_atom_setlong
#define atom_setfloat pdmax_atom_setfloat
#define atom_setsym pdmax_atom_setsym

// host/include/z_dsp.h
#define z_add_signalmethod pdmax_z_add_signalmethod
#define z_dsp_setup pdmax_z_dsp_setup
#define z_dsp_free pdmax_z_dsp_free
#define dsp_add pdmax_dsp_add
#define set_zero pdmax_set_zero
#define sys_getsr pdmax_sys_getsr

// host/include/ext_path.h, ext_sysfile.h, ext_sndfile.h
#define locatefile_extended pdmax_locatefile_extended
#define open_dialog pdmax_open_dialog
#define path_opensysfile pdmax_path_opensysfile
#define path_openresfile pdmax_path_openresfile
#define sysfile_setpos pdmax_sysfile_setpos
#define sysfile_read pdmax_sysfile_read
#define sysfile_close pdmax_sysfile_close
#define sndfile_info pdmax_sndfile_info

// host/include/Resources.h
#define CurResFile pdmax_CurResFile
#define UseResFile pdmax_UseResFile
#define GetResource pdmax_GetResource
#define DetachResource pdmax_DetachResource
#define CloseResFile pdmax_CloseResFile
#define ResError pdmax_ResError
#define GetHandleSize pdmax_GetHandleSize

// host/include/CFBundle.h
#define __CFStringMakeConstantString pdmax_CFStringMakeConstantString
#define kCFBundleVersionKey pdmax_kCFBundleVersionKey
#define CFBundleGetBundleWithIdentifier pdmax_CFBundleGetBundleWithIdentifier
#define CFBundleGetValueForInfoDictionaryKey pdmax_CFBundleGetValueForInfoDictionaryKey
#define CFStringGetCString pdmax_CFStringGetCString
#define CFRetain pdmax_CFRetain
#define CFRelease pdmax_CFRelease

// The plug-in's entry point: Pd calls CLASS_setup, which calls this.
#define main pdmax_main
