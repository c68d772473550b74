#pragma once

#include <cstdint>

#include "pdf/object/CPdfObject.h"

class CPdfDictionary;
class CPdfResolver;

// A page as checked when the document opens: its contents and annotations
// as stored, its own resources resolved, and its rotation.
class CPdfPage {
public:
    // Throws "Resources are not found" when the page has no resource
    // dictionary of its own, and the annotations message when /Annots is
    // neither a reference, an array nor null.
    void Load(int32_t pageNumber, CPdfResolver* xref, const CPdfDictionary& page);

    int32_t rotate = 0;
    int32_t pageNumber = 0;
    CPdfResolver* xref = nullptr;
    CPdfObject contents;
    CPdfObject resources;
    CPdfObject annotations;
};
