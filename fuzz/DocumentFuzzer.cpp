// A whole document over arbitrary bytes, as the stamp driver reads its input:
// the open (header, cross-reference, trailer, catalog and page tree checks),
// the page list, then the raw bytes of every entry, plain or from an object
// stream; once as written, once with -repair.

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

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
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
// one byte more (or through its value, closed by the copy, when the file
// leaves it unclosed); an object from an object stream is framed as a plain one.
void CheckRawObjects(CPdfXRef& xref) {
    for (size_t number = 0; number < xref.entries().size(); ++number) {
        const auto n = static_cast<int32_t>(number);
        const XRefEntryType type = xref.entries()[number].type;
        std::optional<std::string> bytes;
        try {
            bytes = ReadRawObject(xref, n);
        } catch (const CPdfException&) {
            continue;  // an object stream that cannot be loaded
        }
        if (!bytes) continue;
        Check(type != XRefEntryType::Free);
        if (type == XRefEntryType::Compressed) {
            const std::string head = std::to_string(n) + " 0 obj\r";
            Check(bytes->size() > head.size() + 7);
            Check(bytes->compare(0, head.size(), head) == 0);
            Check(EndsWith(*bytes, "endobj\r"));
        } else {
            const auto location = LocateRawObject(xref, n);
            Check(location.has_value());
            const int64_t closing = location->unclosed ? static_cast<int64_t>(kClosing.size()) : 0;
            Check(static_cast<int64_t>(bytes->size()) == location->length + closing);
            const size_t endobj = bytes->rfind("endobj");
            Check(endobj != std::string::npos && endobj + 7 >= bytes->size());
        }
    }
}

// Opened as written, then with -repair (the scan of a damaged file): the
// same checks either way.
void OpenAndCheck(const std::shared_ptr<CByteSource>& source, bool repair) {
    CPdfDocument document;
    try {
        document.Open(source, {}, repair);
    } catch (const CPdfException&) {
        Check(!document.isOpen());
        return;
    }
    Check(document.isOpen());
    try {
        CheckPageList(repair ? StampPageList(document) : BuildPageList(document.xref()));
    } catch (const CPdfException&) {
    }
    CheckRawObjects(document.xref());
    document.Close();
    Check(!document.isOpen());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto source = std::make_shared<CMemoryByteSource>(std::string(reinterpret_cast<const char*>(data), size));
    OpenAndCheck(source, false);
    OpenAndCheck(source, true);
    return 0;
}
