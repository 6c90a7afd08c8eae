#pragma once
// The connect handshake: "m", then "p" for the parameter lines.
namespace vkt {
class Library;
}

namespace vkt::protocol {

// 1 when the logger answered both commands; keeps the parameter lines in
// `ListBox1`, the year in `param_year` and the record count in `param_count`.
bool vkt_connect(Library& library);

}  // namespace vkt::protocol
