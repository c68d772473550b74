// The cross-reference load over arbitrary bytes: the header search as the
// document does it, startxref, every section along /Prev (classic tables,
// cross-reference streams, hybrid files), the trailer's references; then the
// value of every entry (up to a bound) through Fetch, which reaches object
// streams, indirect stream lengths and nested fetches, and the raw bytes of
// every compressed entry.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfObject.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

// Entries fetched per input; a cross-reference may name millions.
constexpr size_t kMaxFetches = 4096;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// The header position as the document finds it: "%PDF-" at 0 to 1017 in the
// first 1023 bytes, compared as C strings.
int64_t HeaderPosition(const uint8_t* data, size_t size) {
    char buffer[1024];
    std::memset(buffer, 0xFF, sizeof buffer);
    std::memcpy(buffer, data, std::min<size_t>(size, 1023));
    buffer[1023] = '\0';
    for (size_t i = 0; i <= 1017; ++i) {
        if (std::strncmp(buffer + i, "%PDF-", 5) == 0) return static_cast<int64_t>(i);
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto source = std::make_shared<CMemoryByteSource>(std::string(reinterpret_cast<const char*>(data), size));
    auto file = std::make_shared<CPdfFileStream>(source, 0, 0, CPdfObject::Null());
    file->MoveStart(HeaderPosition(data, size));
    CPdfXRef xref(file);
    try {
        xref.Load();
    } catch (const CPdfException&) {
        return 0;
    }

    // What a successful load promises.
    Check(xref.trailer().is(pdfDictionary));
    Check(xref.trailer().getDict().lookupNF("Root").is(pdfReference));
    Check(xref.entries().size() <= static_cast<size_t>(CPdfXRef::kMaxObjectNumber) + 1);
    for (const XRefEntry& entry : xref.entries())
        Check(entry.type == XRefEntryType::Free || entry.type == XRefEntryType::InUse ||
              entry.type == XRefEntryType::Compressed);

    const size_t count = std::min(xref.entries().size(), kMaxFetches);
    for (size_t number = 0; number < count; ++number) {
        const auto n = static_cast<int32_t>(number);
        try {
            const CPdfObject value = xref.Fetch(n, xref.GenerationOf(n));
            Check(!value.is(pdfNone));
            if (xref.entries()[number].type == XRefEntryType::Compressed) {
                const auto bytes = xref.GetObjectStreamBytes(n, 0);
                if (!bytes) Check(value.is(pdfNull));
            }
        } catch (const CPdfException&) {
        }
    }
    try {
        (void)xref.trailer().getDict().lookup("Root");
        (void)xref.trailer().getDict().lookup("Info");
    } catch (const CPdfException&) {
    }
    return 0;
}
