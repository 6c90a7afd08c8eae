// The Windows reader: the registry itself, under HKEY_LOCAL_MACHINE, opened
// with KEY_READ and never written. The build uses it on Windows; Linux uses
// registry_sysfs.cpp.
#include <windows.h>

#include <string>
#include <vector>

#include "link/registry_reader.h"

namespace vkt::link {
namespace {

class Win32Registry final : public RegistryReader {
 public:
  ~Win32Registry() override { close_key(); }

  bool open_key(std::string_view path) override {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    close_key();
    current_ = key;
    return true;
  }

  std::vector<std::string> value_names() override {
    std::vector<std::string> out;
    if (!current_) return out;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(current_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
      return out;
    std::vector<char> name(longest + 1);
    for (DWORD i = 0;; ++i) {
      DWORD size = static_cast<DWORD>(name.size());
      const LONG rc = RegEnumValueA(current_, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) break;
      out.emplace_back(name.data(), size);
    }
    return out;
  }

  std::string read_string(std::string_view name) override {
    if (!current_) return {};
    const std::string value_name(name);
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(current_, value_name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return {};
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
      throw RegistryError("Invalid data type for '" + value_name + "'");
    std::string data(size, '\0');
    rc = RegQueryValueExA(current_, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc != ERROR_SUCCESS) throw RegistryError("Invalid data type for '" + value_name + "'");
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }

  std::vector<std::string> subkey_names() override {
    std::vector<std::string> out;
    if (!current_) return out;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(current_, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
      return out;
    std::vector<char> name(longest + 1);
    for (DWORD i = 0;; ++i) {
      DWORD size = static_cast<DWORD>(name.size());
      if (RegEnumKeyExA(current_, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      out.emplace_back(name.data(), size);
    }
    return out;
  }

  void close_key() override {
    if (current_) RegCloseKey(current_);
    current_ = nullptr;
  }

 private:
  HKEY current_ = nullptr;
};

}  // namespace

std::unique_ptr<RegistryReader> make_system_registry_reader() { return std::make_unique<Win32Registry>(); }

}  // namespace vkt::link
