#pragma once
// The built module loaded as a host loads it (the host tool's loader):
// dlopen, every export resolved by name. Unloading runs the module's own
// teardown, so each Module starts from a freshly loaded library.
#include "vktcli/module.h"

namespace vkt::testing {

class Module : public vktcli::Api {
 public:
  Module() : loaded_(VKTCOM_MODULE_PATH) { static_cast<vktcli::Api&>(*this) = loaded_.api(); }

 private:
  vktcli::Module loaded_;
};

}  // namespace vkt::testing
