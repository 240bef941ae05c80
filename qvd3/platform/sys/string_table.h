// The process-wide string table: every caption, hint, prompt and message
// shown to users is an entry looked up by number. A library registers its
// entries once, when it is loaded; LoadStr then finds them from anywhere.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace qv {

struct ResourceString {
  int id;
  std::string_view text;
};

// Adds entries to the table (the texts are copied). An id already present
// takes the new text, so registering the same list twice is harmless.
void RegisterResourceStrings(std::span<const ResourceString> entries);
void RegisterResourceStrings(std::initializer_list<ResourceString> entries);

// The text of entry `id`; an empty string when no library registered it.
std::string LoadStr(int id);

}  // namespace qv
