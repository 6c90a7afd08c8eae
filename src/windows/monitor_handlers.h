#pragma once
// The monitor window's handlers: its test buttons and the port-watching tick.
namespace vkt {
class Library;
}

namespace vkt::windows {
class TForm2;

// Connects the buttons, the terminal switch and the timer of a newly created
// monitor window to the library's operations.
void wire_monitor_handlers(Library& library, TForm2& form);

}  // namespace vkt::windows
