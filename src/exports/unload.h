#pragma once
// The module's unload: one platform file (unload_gnu.cpp, unload_static.cpp)
// calls it when the host unloads the module.
namespace vkt::exports {

void unload_library();

}  // namespace vkt::exports
