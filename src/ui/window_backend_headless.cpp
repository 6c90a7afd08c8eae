// Systems without a window system of the library's own: the windows keep
// their state and are drawn by nobody.
#include "ui/window_backend.h"

namespace vkt::ui {

std::shared_ptr<WindowBackend> make_platform_window_backend() { return std::make_shared<HeadlessBackend>(); }

}  // namespace vkt::ui
