#include "stamp/ResourceNames.h"

#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "writer/NumberFormat.h"

namespace {

// 64-bit FNV-1a: a fixed, well-spread digest, not a secret.
uint64_t Digest(uint64_t hash, std::string_view bytes) {
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return hash;
}

}  // namespace

void CResourceNames::Seed(std::string_view identity, const std::vector<std::string>& words) {
    uint64_t hash = Digest(14695981039346656037u, identity);
    for (size_t i = 2; i < words.size(); ++i) {
        if (words[i] == "-password") {
            ++i;
            continue;
        }
        hash = Digest(hash, words[i]);
        hash = Digest(hash, std::string_view("", 1));
    }
    seed_ = hash;
}

void CResourceNames::AddNames(const std::unordered_set<std::string>& names) {
    inUse_.insert(names.begin(), names.end());
}

void CResourceNames::AddSubDictionary(CPdfXRef& xref, int32_t number) {
    if (!visited_.insert(number).second) return;
    CPdfObject names;
    try {
        names = xref.Fetch(number, xref.GenerationOf(number));
    } catch (const CPdfException&) {
        // A damaged dictionary names nothing; stamping does not read it.
        return;
    }
    if (!names.is(pdfDictionary)) return;
    for (const auto& entry : names.getDict().entries()) inUse_.insert(entry.first);
}

void CResourceNames::Take(std::initializer_list<std::string_view> prefixes, int32_t number) {
    for (const std::string_view prefix : prefixes) inUse_.insert(std::string(prefix) + FormatInt(number));
}

int32_t CResourceNames::FreeNumber(std::initializer_list<std::string_view> prefixes,
                                   std::optional<int32_t> first) const {
    int64_t number = first ? *first % kNumbers : static_cast<int64_t>(seed_ % kNumbers);
    if (number < 0) number = -number;
    for (int32_t tried = 0; tried < kNumbers; ++tried, number = (number + 1) % kNumbers) {
        bool free = true;
        for (const std::string_view prefix : prefixes) {
            if (inUse_.count(std::string(prefix) + FormatInt(number)) != 0) free = false;
        }
        if (free) return static_cast<int32_t>(number);
    }
    throw CPdfException("Every resource name the stamp could take is in use on a stamped page");
}
