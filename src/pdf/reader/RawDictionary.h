#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

// Searches in the raw bytes of an object, without parsing it.

// The position just after the first "<<" at or after `from`.
std::optional<size_t> Opening(std::string_view bytes, size_t from);

// The position of the "/" of `key` among the own keys of the dictionary whose
// body starts at `body` (just after its "<<"): keys of nested dictionaries,
// names used as values, and bytes inside strings and comments do not count.
std::optional<size_t> FindOwnKey(std::string_view bytes, size_t body, std::string_view key);

// Where the value that begins at or after `from` (past white space and
// comments) starts and ends: a dictionary or array through its closing, a
// string, a name, a number, a keyword, or a reference "N G R" as one value.
// Nothing when no value begins there.
std::optional<std::pair<size_t, size_t>> ValueSpan(std::string_view bytes, size_t from);

// The position just after the key `name` whose "/" stands at `key`.
constexpr size_t EndOfKey(size_t key, std::string_view name) { return key + 1 + name.size(); }
