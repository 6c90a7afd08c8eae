#pragma once
// The little the bottom layer needs of the operating system; one file per
// platform implements it (platform_posix.cpp, platform_win32.cpp), and the
// build picks the file.
#include <ctime>

namespace vkt::platform {

// The local calendar time of `t` by the machine's time zone.
void local_calendar(std::time_t t, std::tm& out);

// Hands memory that the heap holds free back to the system, where the heap
// keeps it otherwise (after a large table was released).
void release_free_memory();

}  // namespace vkt::platform
