#pragma once
// The command exchange: a bare command written to the port, and a wait of at
// most 3000 ms for a reply that ends in the terminator "#".
#include <string>
#include <string_view>

namespace vkt {
class Library;
}

namespace vkt::protocol {

constexpr char kTerminator = '#';
constexpr unsigned kReplyBoundMs = 3000;

// Waits for a reply on the monitor window's port: the text of every chunk
// read up to and including the one holding the terminator; empty when none
// came within the bound.
std::string ResponseReader(Library& library, char terminator = kTerminator);

// Flush, write, dispatch window messages once, wait: returns the reply text
// (empty: no reply). Throws the port's ECommNotOpen on a closed port.
std::string exchange(Library& library, std::string_view command);

// Sends one command and judges it by the arrival of a reply: 1 when one came.
bool set_command(Library& library, std::string_view command);

}  // namespace vkt::protocol
