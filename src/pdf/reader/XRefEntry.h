#pragma once

#include <cstdint>

// One object number's record in the input's cross-reference information.
//   type 0: free (offset: the next free number from the section)
//   type 1: in the file at `offset` (relative to the header), generation `gen`
//   type 2: in the object stream numbered `offset`, at index `gen`
// An entry no section has defined yet has offset -1.
struct XRefEntry {
    int64_t offset = -1;
    int32_t gen = 0;
    int32_t type = 0;

    bool isSet() const { return offset != -1; }
};
