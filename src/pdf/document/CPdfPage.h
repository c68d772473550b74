#pragma once

#include <cstdint>

#include "pdf/object/CPdfObject.h"

class CPdfDictionary;
class CPdfResolver;

// A page as checked when the document opens: its contents and annotations
// as stored, its resources resolved, and its rotation.
class CPdfPage {
public:
    // The page's resources are its own /Resources or, when it has none, the
    // nearest a parent node has (`inherited`, as that node stores it), or an
    // empty dictionary when no node has one. Throws "Resources are not found"
    // when the resources there are not a dictionary, and the annotations
    // message when /Annots is neither a reference, an array nor null.
    void Load(int32_t pageNumber, CPdfResolver* xref, const CPdfDictionary& page,
              const CPdfObject& inherited = CPdfObject::Null());

    int32_t rotate = 0;
    int32_t pageNumber = 0;
    CPdfResolver* xref = nullptr;
    CPdfObject contents;
    CPdfObject resources;
    CPdfObject annotations;
};
