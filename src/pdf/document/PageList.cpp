#include "pdf/document/PageList.h"

#include <cmath>
#include <limits>
#include <optional>

#include "pdf/document/CPageTreeWalk.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

// A box array: elements in order set the coordinates, numbers only; missing
// or other elements count 0 and elements beyond the fourth are not read.
std::optional<PageBox> BoxOf(const CPdfDictionary& node, std::string_view key) {
    const CPdfObject value = node.lookup(key);
    if (!value.is(pdfArray)) return std::nullopt;
    PageBox box{};
    const CPdfArray& array = value.getArray();
    for (size_t i = 0; i < 4 && i < array.getLength(); ++i) {
        const CPdfObject element = array.get(i);
        if (element.isNumber()) box[i] = static_cast<float>(element.getNumber());
    }
    return box;
}

// The root node's /Count as the number of pages: a real is truncated.
int32_t PageCountOf(const CPdfObject& count) {
    if (count.is(pdfInteger)) return count.getInt();
    if (!count.is(pdfReal) || std::isnan(count.getReal())) return 0;
    const double value = std::trunc(count.getReal());
    if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

PageList::Inherited PageList::Inherit(const CPdfDictionary& node, const Inherited& from) {
    Inherited boxes{BoxOf(node, "CropBox"), BoxOf(node, "MediaBox")};
    if (!boxes.cropBox) boxes.cropBox = from.cropBox;
    if (!boxes.mediaBox) boxes.mediaBox = from.mediaBox;
    return boxes;
}

void PageList::AddPage(int32_t objectNumber, const Inherited& boxes, CPdfObject page) {
    static constexpr PageBox kLetter{0, 0, 612, 792};
    int32_t contents = 0;
    int32_t resources = 0;
    if (page.is(pdfDictionary)) {
        const CPdfObject stored = page.getDict().lookupNF("Contents");
        if (stored.is(pdfReference)) contents = stored.getRef().number;
        const CPdfObject storedResources = page.getDict().lookupNF("Resources");
        if (storedResources.is(pdfReference)) resources = storedResources.getRef().number;
    }
    // The dictionaries of the first pages are kept; beyond them memory would
    // grow with the document, and those pages are read again when stamped.
    if (pages.size() >= kKeptPages) page = CPdfObject::Null();
    pages.push_back({objectNumber,
                     boxes.cropBox    ? *boxes.cropBox
                     : boxes.mediaBox ? *boxes.mediaBox
                                      : kLetter,
                     std::move(page), contents, resources});
}

void PageList::SetRoot(const CPdfObject& stored, const CPdfObject& root) {
    if (stored.is(pdfReference)) {
        pagesObjectNumber = stored.getRef().number;
        pagesGeneration = stored.getRef().generation;
    }
    if (root.is(pdfDictionary)) pageCount = PageCountOf(root.getDict().lookup("Count"));
}

void PageList::BuildIndex() {
    nextPosition.assign(pages.size(), -1);
    int32_t highest = 0;
    for (const PageEntry& page : pages) highest = std::max(highest, page.objectNumber);
    firstPosition.assign(static_cast<size_t>(highest) + 1, -1);
    for (size_t i = pages.size(); i-- > 0;) {
        const int32_t number = pages[i].objectNumber;
        if (number <= 0) continue;
        nextPosition[i] = firstPosition[static_cast<size_t>(number)];
        firstPosition[static_cast<size_t>(number)] = static_cast<int32_t>(i);
    }
}

int32_t PageList::FirstPositionOf(int32_t objectNumber) const {
    if (objectNumber <= 0 || static_cast<size_t>(objectNumber) >= firstPosition.size()) return -1;
    return firstPosition[static_cast<size_t>(objectNumber)];
}

PageList BuildPageList(CPdfXRef& xref) {
    PageList list;
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) return list;
    const CPdfObject pagesStored = catalog.getDict().lookupNF("Pages");
    const CPdfObject top = catalog.getDict().lookup("Pages");
    list.SetRoot(pagesStored, top);
    if (top.is(pdfDictionary)) CPageTreeWalk(list).Walk(pagesStored, top);
    return list;
}

const PageList& StampPageList(const CPdfDocument& document) { return document.catalog().pageList(); }
