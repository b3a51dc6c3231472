// The external's own DllMain.  Without one, the linker takes the reference
// the C runtime's start-up code makes to DllMain from MaxAudio.lib, which
// exports one, and the external would import DllMain from MaxAudio.dll.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
