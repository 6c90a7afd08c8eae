// Compilers of the GNU family: a destructor function of the shared module.
#include "exports/unload.h"

namespace {

__attribute__((destructor)) void on_unload() { vkt::exports::unload_library(); }

}  // namespace
