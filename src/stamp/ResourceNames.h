#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class CPdfXRef;

// The numbers behind the stamp's resource names ("F%d", "GS%d", "Im%d",
// below 1000000): the same for the same input and options, so that two runs
// give the same bytes, and never one whose name a stamped page's resources
// already hold (a name stamped by an earlier run included).
class CResourceNames {
public:
    static constexpr int32_t kNumbers = 1000000;

    // The source of the first number tried: the input's identity (its
    // trailer's first /ID string, else its first bytes) and the parameter
    // words, without the file names and the password.
    void Seed(std::string_view identity, const std::vector<std::string>& words);
    // Adds names in use: those the pages' resources give in place.
    void AddNames(const std::unordered_set<std::string>& names);
    // Adds the names the sub-dictionary that is object `number` gives (read
    // once, however many pages share it).
    void AddSubDictionary(CPdfXRef& xref, int32_t number);
    // The first number from `first` (or from the seed) on, wrapping below
    // kNumbers, for which no prefix followed by it names a resource in use.
    // Throws when every number does.
    int32_t FreeNumber(std::initializer_list<std::string_view> prefixes, std::optional<int32_t> first) const;
    // Marks the names the prefixes make with `number` as in use, so that the
    // next FreeNumber passes over them (a run that names several fonts).
    void Take(std::initializer_list<std::string_view> prefixes, int32_t number);

private:
    uint64_t seed_ = 0;
    std::unordered_set<std::string> inUse_;
    // The sub-dictionaries read: shared ones are read once.
    std::unordered_set<int32_t> visited_;
};
