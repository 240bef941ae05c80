#include "qvd3/platform/sys/string_table.h"

#include <unordered_map>

namespace qv {
namespace {

std::unordered_map<int, std::string>& Table() {
  static std::unordered_map<int, std::string> table;
  return table;
}

}  // namespace

void RegisterResourceStrings(std::span<const ResourceString> entries) {
  auto& table = Table();
  for (const ResourceString& entry : entries) table[entry.id] = std::string(entry.text);
}

void RegisterResourceStrings(std::initializer_list<ResourceString> entries) {
  RegisterResourceStrings(std::span<const ResourceString>(entries.begin(), entries.size()));
}

std::string LoadStr(int id) {
  const auto& table = Table();
  const auto found = table.find(id);
  return found == table.end() ? std::string() : found->second;
}

}  // namespace qv
