// Other compilers: the destructor of a static object, run when the module is unloaded.
#include "exports/unload.h"

namespace {

struct UnloadHook {
  ~UnloadHook() { vkt::exports::unload_library(); }
} g_unload_hook;

}  // namespace
