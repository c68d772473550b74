#include "pdf/object/CPdfDictionary.h"

#include <iterator>

const CPdfObject* CPdfDictionary::find(std::string_view key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

CPdfObject CPdfDictionary::lookup(std::string_view key) const {
    const CPdfObject* value = find(key);
    return value == nullptr ? CPdfObject::Null() : value->fetch(xref_);
}

CPdfObject CPdfDictionary::lookupNF(std::string_view key) const {
    const CPdfObject* value = find(key);
    return value == nullptr ? CPdfObject::Null() : *value;
}

bool CPdfDictionary::isType(std::string_view type) const {
    const CPdfObject* value = find("Type");
    return value != nullptr && value->isName(type);
}

std::string CPdfDictionary::getKey(size_t index) const {
    if (index >= entries_.size()) return {};
    return std::next(entries_.begin(), static_cast<std::ptrdiff_t>(index))->first;
}
