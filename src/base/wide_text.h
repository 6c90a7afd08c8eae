#pragma once
// Text for the platform's wide-character (UTF-16) functions: the library
// keeps its texts in UTF-8 and converts them where it calls the W functions
// of Win32. Built only for Windows (platform_win32.cpp).
#include <string>
#include <string_view>

namespace vkt::platform {

std::wstring utf16(std::string_view text);
std::string utf8(std::wstring_view text);

}  // namespace vkt::platform
