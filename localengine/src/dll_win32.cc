// The DLL's own entry: told when it is detached from a process that ends.
#include <windows.h>

#include "file_io.h"

// With the process ending (reserved set), every other thread is gone
// already, and the loader's lock is held: closing the files that are still
// open must not wait for their reader threads. (A FreeLibrary with a reader
// running never gets here: keepLoaded pins the library.)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) localengine::setProcessEnding();
    return TRUE;
}
