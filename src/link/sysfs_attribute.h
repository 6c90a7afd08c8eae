#pragma once
// Reading one attribute of the kernel's device description (Linux).
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

// A number in `base` that is the whole of `text`, at most `limit`; nothing
// otherwise.
std::optional<unsigned> parse_sysfs_number(std::string_view text, int base, unsigned limit);

// The USB device folder above a device of sysfs: walking up from where
// `device` leads (a usb-serial port, a cdc-acm interface), the first folder
// that holds idVendor, without leaving `sysfs`. `interface`, when given,
// receives the folder just below it on the way up (empty when `device`
// leads to the USB device itself). Nothing when no USB device lies above.
std::optional<std::filesystem::path> usb_device_above(const std::filesystem::path& device,
                                                      const std::filesystem::path& sysfs,
                                                      std::filesystem::path* interface = nullptr);

}  // namespace vkt::link
