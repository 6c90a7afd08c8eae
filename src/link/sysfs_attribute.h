#pragma once
// Reading one attribute of the kernel's device description (Linux).
#include <cstddef>
#include <optional>
#include <string>

namespace vkt::link {

// The most of an attribute that is read; the attributes port discovery
// needs (identifiers, serial numbers, strings) are a line of text.
inline constexpr std::size_t kSysfsAttributeLimit = 4096;

// The first line of the attribute file at `path`, trimmed. The file is
// opened without blocking and without becoming a controlling terminal, and
// read only when it is a regular file once open (a link to a regular file is
// followed, as sysfs itself uses them); at most kSysfsAttributeLimit bytes
// are read. Anything else (a FIFO, a device such as /dev/zero, a folder, a
// link loop, a text holding a NUL or a control character, a read error)
// counts as missing: nothing.
std::optional<std::string> read_sysfs_attribute(const std::string& path);

}  // namespace vkt::link
