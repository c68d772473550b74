#include "pdf/object/CPdfDictionary.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

namespace {

// Up to this many entries a search reads them in order, comparing lengths
// first; beyond it, it halves.
constexpr size_t kLinearSearch = 12;

bool KeyBefore(const CPdfDictionary::Entry& entry, std::string_view key) { return std::string_view(entry.first) < key; }

}  // namespace

void CPdfDictionary::add(std::string key, CPdfObject value) {
    if (entries_.empty() || std::string_view(entries_.back().first) < key) {
        entries_.emplace_back(std::move(key), std::move(value));
        return;
    }
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), std::string_view(key), KeyBefore);
    if (at->first == key) return;
    entries_.emplace(at, std::move(key), std::move(value));
}

void CPdfDictionary::assign(std::span<Entry> read) {
    entries_.clear();
    entries_.reserve(read.size());
    // The entries are taken in key order, equal keys in the order read, so
    // that of those the first stays.
    const auto byKey = [read](uint32_t a, uint32_t b) { return read[a].first < read[b].first; };
    const auto take = [this, read](auto first, auto last) {
        for (auto at = first; at != last; ++at) {
            if (!entries_.empty() && entries_.back().first == read[*at].first) continue;
            entries_.push_back(std::move(read[*at]));
        }
    };
    if (read.size() <= kLinearSearch) {
        std::array<uint32_t, kLinearSearch> order{};
        const auto last = order.begin() + static_cast<std::ptrdiff_t>(read.size());
        std::iota(order.begin(), last, 0);
        for (auto next = order.begin(); next != last; ++next)
            std::rotate(std::upper_bound(order.begin(), next, *next, byKey), next, next + 1);
        take(order.begin(), last);
    } else {
        std::vector<uint32_t> order(read.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), byKey);
        take(order.begin(), order.end());
    }
}

const CPdfObject* CPdfDictionary::find(std::string_view key) const {
    if (entries_.size() <= kLinearSearch) {
        for (const Entry& entry : entries_)
            if (entry.first == key) return &entry.second;
        return nullptr;
    }
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), key, KeyBefore);
    return at == entries_.end() || at->first != key ? nullptr : &at->second;
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

std::string CPdfDictionary::getKey(size_t index) const { return index < entries_.size() ? entries_[index].first : std::string(); }
