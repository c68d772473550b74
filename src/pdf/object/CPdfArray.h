#pragma once

#include <iterator>
#include <span>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CPdfResolver;

// A PDF array: its elements by value, in file order. Shared between the
// values that hold it; `get` follows references through the bound
// cross-reference, `getNF` does not.
class CPdfArray {
public:
    explicit CPdfArray(CPdfResolver* xref = nullptr) : xref_(xref) {}

    void add(CPdfObject value) { elements_.push_back(std::move(value)); }
    // Replaces the elements with those moved out of `elements`.
    void assign(std::span<CPdfObject> elements) {
        elements_.assign(std::make_move_iterator(elements.begin()), std::make_move_iterator(elements.end()));
    }
    size_t getLength() const { return elements_.size(); }
    CPdfObject get(size_t index) const;
    const CPdfObject& getNF(size_t index) const { return elements_[index]; }

    CPdfResolver* xref() const { return xref_; }

private:
    CPdfResolver* xref_;
    std::vector<CPdfObject> elements_;
};
