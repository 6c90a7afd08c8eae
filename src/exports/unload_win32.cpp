// Windows: the DLL's entry point. The C runtime calls it after its own
// start-up and before its own shut-down.
//
// FreeLibrary: every window is destroyed and the port closed here, under the
// loader lock. The port's I/O loop runs as a thread-pool callback whose end
// is signalled by the pool after the callback has returned, so the close
// waits for nothing that needs the loader lock (a thread of its own would:
// its exit takes that lock, and joining it here never returns).
//
// Process exit (`reserved` not null): the system has already ended every
// other thread, so nothing may be waited for; the process's handles (the
// port among them) and windows go with it.
#include <windows.h>

#include "exports/unload.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    try {
      vkt::exports::unload_library();
    } catch (...) {
      // Nothing may unwind into the loader.
    }
  }
  return TRUE;
}
