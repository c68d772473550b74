#pragma once

#include <cstdint>

class CPdfObject;

// Resolves an indirect reference to the object it names. The document's
// cross-reference implements it; arrays and dictionaries keep a non-owning
// pointer to one so that their lookups can follow references.
class CPdfResolver {
public:
    virtual ~CPdfResolver() = default;
    virtual CPdfObject Fetch(int32_t number, int32_t generation) = 0;
};
