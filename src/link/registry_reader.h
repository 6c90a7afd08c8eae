#pragma once
// A read-only view of the machine's serial devices shaped like the Windows
// registry under HKEY_LOCAL_MACHINE: keys addressed by absolute paths
// ("\HARDWARE\DEVICEMAP\SERIALCOMM"), each holding named values and subkeys.
// Port discovery is written once against this interface; each platform
// supplies a reader:
//
//   Linux    registry_sysfs.cpp: the serial device map and the USB-serial
//            adapter enumeration made up from sysfs and the device folder.
//   Windows  registry_win32.cpp: the real registry, opened with KEY_READ.
//
// Key and value names compare without regard to ASCII letter case, as in
// the registry.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vkt::link {

// A value that exists but cannot be read as text.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The two keys port discovery reads: the serial device map (one value per
// serial device present, its text the port name) and the enumeration of
// the USB-serial adapters seen (one subkey per adapter, with
// "0000\Device Parameters" holding the text value "PortName").
inline constexpr std::string_view kDeviceMapKey = "\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr std::string_view kAdapterKey = "\\System\\CurrentControlSet\\Enum\\FTDIBUS";
inline constexpr std::string_view kParametersSubkey = "\\0000\\Device Parameters";

class RegistryReader {
 public:
  virtual ~RegistryReader() = default;

  // Opens the key at an absolute path for reading; never creates it. On
  // success the key becomes the current key in place of the one open before;
  // on failure the current key stays as it was.
  virtual bool open_key(std::string_view path) = 0;
  // The value names of the current key, in the order the system lists them;
  // empty when no key is open.
  virtual std::vector<std::string> value_names() = 0;
  // A value of the current key as text. A missing or empty value reads as
  // empty text; a value that is not text throws RegistryError.
  virtual std::string read_string(std::string_view name) = 0;
  // The subkey names of the current key, in the order the system lists them.
  virtual std::vector<std::string> subkey_names() = 0;
  // Closes the current key (there is none open afterwards).
  virtual void close_key() = 0;
};

// The reader of this platform, showing the machine as it is at the moment
// of the call.
std::unique_ptr<RegistryReader> make_system_registry_reader();

// A registry held in memory: the Linux reader builds one from sysfs, and
// tests fill one by hand.
class RegistryTree final : public RegistryReader {
 public:
  RegistryTree();
  ~RegistryTree() override;
  RegistryTree(RegistryTree&&) noexcept;
  RegistryTree& operator=(RegistryTree&&) noexcept;

  // Creates the key and any missing parents; an existing key is kept.
  void add_key(std::string_view path);
  // Sets a text value (creating the key); an existing value of that name is
  // replaced in place, a new one goes after the others.
  void set_text(std::string_view key, std::string_view name, std::string_view text);
  // Sets a value that is not text (binary data, a number).
  void set_binary(std::string_view key, std::string_view name);
  bool has_key(std::string_view path) const;

  bool open_key(std::string_view path) override;
  std::vector<std::string> value_names() override;
  std::string read_string(std::string_view name) override;
  std::vector<std::string> subkey_names() override;
  void close_key() override;

 private:
  struct Key;
  Key* find(std::string_view path) const;
  Key& make(std::string_view path);
  void set_value(std::string_view key, std::string_view name, bool text, std::string_view data);

  std::unique_ptr<Key> root_;
  Key* current_ = nullptr;
};

// Linux: the registry view of the serial devices that sysfs (`sysfs_root`)
// and the device folder (`dev_root`) describe. Exposed for tests; the system
// reader uses the folders of port_names.h.
RegistryTree registry_from_sysfs(const std::string& sysfs_root, const std::string& dev_root);

}  // namespace vkt::link
