#include "settings/settings_exports.h"

#include "exports/library.h"

namespace vkt::settings {

int32_t vkt_set_command(Library&, const char*) { return 0; }
void vkt_get_param(Library&, char*) {}
void vkt_get_reservetime(Library&, char*) {}
void settingform_open(Library&) {}
void settingform_close(Library&) {}
void settingform_release(Library&) {}
bool settingform_check(Library& library) { return library.settingform_active; }

}  // namespace vkt::settings
