#include <algorithm>
#include <utility>

#include "base/text.h"
#include "link/registry_reader.h"

namespace vkt::link {
namespace {

bool same_name(std::string_view a, std::string_view b) { return same_ignoring_case(a, b); }

// The components of a key path; empty components (leading, doubled or
// trailing backslashes) are skipped.
std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    if (!part.empty()) out.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return out;
}

}  // namespace

struct RegistryTree::Key {
  struct Value {
    std::string name;
    bool text = true;
    std::string data;
  };
  std::string name;
  std::vector<Value> values;
  std::vector<std::unique_ptr<Key>> subkeys;

  Key* child(std::string_view child_name) const {
    for (const auto& k : subkeys)
      if (same_name(k->name, child_name)) return k.get();
    return nullptr;
  }
};

RegistryTree::RegistryTree() : root_(std::make_unique<Key>()) {}
RegistryTree::~RegistryTree() = default;
RegistryTree::RegistryTree(RegistryTree&&) noexcept = default;
RegistryTree& RegistryTree::operator=(RegistryTree&&) noexcept = default;

RegistryTree::Key* RegistryTree::find(std::string_view path) const {
  Key* key = root_.get();
  for (std::string_view part : components(path)) {
    key = key->child(part);
    if (!key) return nullptr;
  }
  return key;
}

RegistryTree::Key& RegistryTree::make(std::string_view path) {
  Key* key = root_.get();
  for (std::string_view part : components(path)) {
    Key* next = key->child(part);
    if (!next) {
      key->subkeys.push_back(std::make_unique<Key>());
      next = key->subkeys.back().get();
      next->name = std::string(part);
    }
    key = next;
  }
  return *key;
}

void RegistryTree::add_key(std::string_view path) { make(path); }

void RegistryTree::set_value(std::string_view key_path, std::string_view name, bool text, std::string_view data) {
  Key& key = make(key_path);
  for (auto& v : key.values) {
    if (!same_name(v.name, name)) continue;
    v.text = text;
    v.data = std::string(data);
    return;
  }
  key.values.push_back({std::string(name), text, std::string(data)});
}

void RegistryTree::set_text(std::string_view key, std::string_view name, std::string_view text) {
  set_value(key, name, true, text);
}

void RegistryTree::set_binary(std::string_view key, std::string_view name) { set_value(key, name, false, {}); }

bool RegistryTree::has_key(std::string_view path) const { return find(path) != nullptr; }

bool RegistryTree::open_key(std::string_view path) {
  Key* key = find(path);
  if (!key) return false;
  current_ = key;
  return true;
}

std::vector<std::string> RegistryTree::value_names() {
  std::vector<std::string> out;
  if (current_)
    for (const auto& v : current_->values) out.push_back(v.name);
  return out;
}

std::string RegistryTree::read_string(std::string_view name) {
  if (!current_) return {};
  for (const auto& v : current_->values) {
    if (!same_name(v.name, name)) continue;
    if (!v.text) throw RegistryError("Invalid data type for '" + v.name + "'");
    return v.data;
  }
  return {};
}

std::vector<std::string> RegistryTree::subkey_names() {
  std::vector<std::string> out;
  if (current_)
    for (const auto& k : current_->subkeys) out.push_back(k->name);
  return out;
}

void RegistryTree::close_key() { current_ = nullptr; }

}  // namespace vkt::link
