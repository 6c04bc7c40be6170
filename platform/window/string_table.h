#pragma once
// String tables of modules: localised texts by number. The programs here carry
// none, so every lookup finds nothing unless a table was installed.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace platform {

struct Instance;

// The string `id` of `module` (null: the program), cut to `maxChars`; "" when missing.
std::string LoadString(Instance* module, uint32_t id, size_t maxChars);

namespace detail {
// The one table every module answers from (tests fill it).
std::map<uint32_t, std::string>& TheStringTable();
} // namespace detail

} // namespace platform
