#pragma once
// The built module loaded as a host loads it (the host tool's loader):
// dlopen, every export resolved by name. Unloading runs the module's own
// teardown, so each Module starts from a freshly loaded library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "vktcli/module.h"
#include "vktcom.h"

namespace vkt::testing {

class Module : public vktcli::Api {
 public:
  Module() : loaded_(VKTCOM_MODULE_PATH) {
    static_cast<vktcli::Api&>(*this) = loaded_.api();
    // The record-copy extension, which the host tool does not use: resolved
    // from the module the loader above holds.
    void* handle = dlopen(VKTCOM_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) throw std::runtime_error("the module is not loaded");
    vkt_get_records = reinterpret_cast<decltype(vkt_get_records)>(dlsym(handle, "vkt_get_records"));
    dlclose(handle);
    if (vkt_get_records == nullptr) throw std::runtime_error("the module lacks vkt_get_records");
  }

  int32_t (*vkt_get_records)(int32_t, int32_t, vkt_record*) = nullptr;

 private:
  vktcli::Module loaded_;
};

// What a host does first: finds the logger by the port search, opens its
// port and connects (use with ASSERT_NO_FATAL_FAILURE).
inline void search_open_connect(Module& m) {
  ASSERT_EQ(m.com_search(), 1);
  ASSERT_EQ(m.com_open(1), 1);
  ASSERT_EQ(m.vkt_connect(), 1);
}

}  // namespace vkt::testing
