#pragma once
// The settings dialog (`TForm4`, caption "VKT Setting").
#include "windows/window.h"

namespace vkt {
class Library;
}

namespace vkt::settings {

class TForm4 final : public windows::Window {
 public:
  explicit TForm4(Library& library);

 private:
  Library& library_;
};

}  // namespace vkt::settings
