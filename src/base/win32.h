#pragma once
// What the Win32 files of every layer share (built only for Windows, in
// platform_win32.cpp): the library keeps its texts in UTF-8 and converts them
// where it calls the W functions; its window classes belong to its own
// module; and its windows must not outlive the module's code.
#include <windows.h>

#include <string>
#include <string_view>

namespace vkt::platform {

std::wstring utf16(std::string_view text);
std::string utf8(std::wstring_view text);

// The module (DLL or program) the library is linked into.
HINSTANCE library_module();

// Destroys a window of the library. A window of another thread (the
// library unloaded from a thread other than the one that made the window)
// cannot be destroyed from here: its procedure, which lives in this module,
// is replaced by DefWindowProcW and the window's own thread is asked to
// close it. Returns whether the window is gone now.
bool destroy_library_window(HWND window);

}  // namespace vkt::platform
