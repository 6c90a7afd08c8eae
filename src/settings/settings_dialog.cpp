#include "settings/settings_dialog.h"

#include "exports/library.h"

namespace vkt::settings {

TForm4::TForm4(Library& library) : windows::Window(library.backend(), "TForm4", "VKT Setting"), library_(library) {}

}  // namespace vkt::settings
