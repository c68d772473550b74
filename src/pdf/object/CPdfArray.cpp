#include "pdf/object/CPdfArray.h"

CPdfObject CPdfArray::get(size_t index) const { return elements_[index].fetch(xref_); }
