// A whole document over arbitrary bytes, as the stamp driver reads its input:
// the open (header, cross-reference, trailer, catalog and page tree checks),
// the page list, then the raw bytes of every entry, plain or from an object
// stream.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/PageList.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckPageList(const PageList& list) {
    Check(list.nextPosition.size() == list.pages.size());
    for (size_t i = 0; i < list.pages.size(); ++i) {
        const int32_t number = list.pages[i].objectNumber;
        Check(number >= 0);
        if (number == 0) continue;
        const int32_t first = list.FirstPositionOf(number);
        Check(first >= 0 && static_cast<size_t>(first) <= i);
        Check(list.pages[static_cast<size_t>(first)].objectNumber == number);
        const int32_t next = list.nextPosition[i];
        Check(next == -1 ||
              (static_cast<size_t>(next) > i && list.pages[static_cast<size_t>(next)].objectNumber == number));
    }
}

// The bytes of every entry: a plain object runs through "endobj" and at most
// one byte more (or through its value when the file leaves it unclosed); an
// object from an object stream is its value alone.
void CheckRawObjects(CPdfXRef& xref) {
    for (size_t number = 0; number < xref.entries().size(); ++number) {
        const auto n = static_cast<int32_t>(number);
        const XRefEntryType type = xref.entries()[number].type;
        std::optional<RawObject> object;
        try {
            object = ReadRawObject(xref, n);
        } catch (const CPdfException&) {
            continue;  // an object stream that cannot be loaded
        }
        if (!object) continue;
        Check(type != XRefEntryType::Free);
        if (type == XRefEntryType::Compressed) {
            Check(object->form == RawObject::Form::Member && !object->bytes.empty());
            continue;
        }
        const auto location = LocateRawObject(xref, n);
        Check(location.has_value());
        Check(static_cast<int64_t>(object->bytes.size()) == location->length);
        Check((object->form == RawObject::Form::Unclosed) == location->unclosed);
        if (location->unclosed) continue;
        const size_t endobj = object->bytes.rfind("endobj");
        Check(endobj != std::string::npos && endobj + 7 >= object->bytes.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto source = std::make_shared<CMemoryByteSource>(std::string(reinterpret_cast<const char*>(data), size));
    CPdfDocument document;
    try {
        document.Open(source);
    } catch (const CPdfException&) {
        Check(!document.isOpen());
        return 0;
    }
    Check(document.isOpen());
    try {
        CheckPageList(BuildPageList(document.xref()));
    } catch (const CPdfException&) {
    }
    CheckRawObjects(document.xref());
    document.Close();
    Check(!document.isOpen());
    return 0;
}
