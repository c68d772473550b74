// A whole document over arbitrary bytes, as the stamp driver reads its input:
// the open (header, cross-reference, trailer, catalog and page tree checks),
// the page list, then the raw bytes of every entry, plain or from an object
// stream; once as written, once with -repair.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Each page object's positions ascend through the list and name it; a
// /Contents object is shared when two page objects draw it.
void CheckPageList(const PageList& list) {
    const std::vector<PageEntry>& pages = list.pages();
    std::map<int32_t, int32_t> contentsUse;
    for (size_t i = 0; i < pages.size(); ++i) {
        const int32_t number = pages[i].objectNumber;
        Check(number >= 0);
        bool listed = number == 0;
        int32_t last = -1;
        for (const int32_t position : list.PositionsOf(number)) {
            Check(position > last && static_cast<size_t>(position) < pages.size());
            Check(pages[static_cast<size_t>(position)].objectNumber == number);
            listed = listed || static_cast<size_t>(position) == i;
            last = position;
        }
        Check(listed);
        if (pages[i].contentsNumber > 0 &&
            (number == 0 || *list.PositionsOf(number).begin() == static_cast<int32_t>(i)))
            ++contentsUse[pages[i].contentsNumber];
    }
    for (const auto& [contents, use] : contentsUse) Check(list.IsSharedContents(contents) == (use > 1));
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
        CheckPageList(document.catalog().pageList());
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
