#pragma once
// The settings functions of the host interface.
#include <cstdint>

namespace vkt {
class Library;
}

namespace vkt::settings {

int32_t vkt_set_command(Library& library, const char* command);
void vkt_get_param(Library& library, char* text);
void vkt_get_reservetime(Library& library, char* text);
void settingform_open(Library& library);
void settingform_close(Library& library);
void settingform_release(Library& library);
bool settingform_check(Library& library);

}  // namespace vkt::settings
