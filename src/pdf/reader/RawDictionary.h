#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// Searches in the raw bytes of an object, without parsing it.

// The position just after the first "<<" at or after `from`.
std::optional<size_t> Opening(std::string_view bytes, size_t from);

// The position of the "/" of `key` among the own keys of the dictionary whose
// body starts at `body` (just after its "<<"): keys of nested dictionaries,
// names used as values, and bytes inside strings and comments do not count.
std::optional<size_t> FindOwnKey(std::string_view bytes, size_t body, std::string_view key);

// The position just after the key `name` whose "/" stands at `key`.
constexpr size_t EndOfKey(size_t key, std::string_view name) { return key + 1 + name.size(); }
