#pragma once

#include <cstdint>

// What an object number's record says of it (the values are those of a
// cross-reference stream's first field).
enum class XRefEntryType : int32_t {
    Free = 0,        // offset: the next free number from the section
    InUse = 1,       // in the file at `offset` (relative to the header), generation `gen`
    Compressed = 2,  // in the object stream numbered `offset`, at index `gen`
};

// One object number's record in the input's cross-reference information.
// An entry no section has defined yet has offset -1.
struct XRefEntry {
    int64_t offset = -1;
    int32_t gen = 0;
    XRefEntryType type = XRefEntryType::Free;

    bool IsSet() const { return offset != -1; }
};
