#include "pdf/document/PageList.h"

#include <cmath>
#include <limits>
#include <optional>

#include "pdf/document/PageTreeGuard.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

using Box = std::array<float, 4>;

// A box array: elements in order set the coordinates, numbers only; missing
// or other elements count 0 and elements beyond the fourth are not read.
std::optional<Box> BoxOf(const CPdfDictionary& node, std::string_view key) {
    const CPdfObject value = node.lookup(key);
    if (!value.is(pdfArray)) return std::nullopt;
    Box box{};
    const CPdfArray& array = value.getArray();
    for (size_t i = 0; i < 4 && i < array.getLength(); ++i) {
        const CPdfObject element = array.get(i);
        if (element.isNumber()) box[i] = static_cast<float>(element.getNumber());
    }
    return box;
}

int32_t CountOf(const CPdfObject& count) {
    if (count.is(pdfInteger)) return count.getInt();
    if (!count.is(pdfReal) || std::isnan(count.getReal())) return 0;
    const double value = std::trunc(count.getReal());
    if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

int32_t PageList::FirstPositionOf(int32_t objectNumber) const {
    if (objectNumber <= 0 || static_cast<size_t>(objectNumber) >= firstPosition.size()) return -1;
    return firstPosition[static_cast<size_t>(objectNumber)];
}

PageList BuildPageList(CPdfXRef& xref) {
    PageList list;
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) return list;
    const CPdfObject pagesStored = catalog.getDict().lookupNF("Pages");
    if (pagesStored.is(pdfReference)) {
        list.pagesObjectNumber = pagesStored.getRef().number;
        list.pagesGeneration = pagesStored.getRef().generation;
    }
    const CPdfObject top = catalog.getDict().lookup("Pages");
    if (!top.is(pdfDictionary)) return list;
    list.pageCount = CountOf(top.getDict().lookup("Count"));

    struct Frame {
        CPdfObject kids;
        size_t next = 0;
        std::optional<Box> cropBox;
        std::optional<Box> mediaBox;
    };
    PageTreeGuard guard;
    std::vector<Frame> stack;
    const auto leaf = [&list](int32_t number, const std::optional<Box>& crop, const std::optional<Box>& media) {
        static constexpr Box kLetter{0, 0, 612, 792};
        list.pages.push_back({number, crop ? *crop : media ? *media : kLetter});
    };
    // Visits one node: a node with /Kids is pushed, anything else is a page.
    const auto visit = [&](const CPdfObject& stored, const CPdfObject& node, int32_t number,
                           const std::optional<Box>& crop, const std::optional<Box>& media) {
        if (!node.is(pdfDictionary)) {
            leaf(0, crop, media);
            return;
        }
        const CPdfDictionary& dict = node.getDict();
        std::optional<Box> ownCrop = BoxOf(dict, "CropBox");
        std::optional<Box> ownMedia = BoxOf(dict, "MediaBox");
        if (!ownCrop) ownCrop = crop;
        if (!ownMedia) ownMedia = media;
        CPdfObject kids = dict.lookup("Kids");
        if (kids.is(pdfArray)) {
            guard.Enter(stored);
            stack.push_back({std::move(kids), 0, ownCrop, ownMedia});
        } else {
            leaf(number, ownCrop, ownMedia);
        }
    };
    visit(pagesStored, top, list.pagesObjectNumber, std::nullopt, std::nullopt);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const CPdfArray& kids = frame.kids.getArray();
        if (frame.next >= kids.getLength()) {
            stack.pop_back();
            continue;
        }
        const size_t index = frame.next++;
        const CPdfObject& stored = kids.getNF(index);
        const int32_t number = stored.is(pdfReference) ? stored.getRef().number : 0;
        const std::optional<Box> crop = frame.cropBox;
        const std::optional<Box> media = frame.mediaBox;
        visit(stored, kids.get(index), number, crop, media);
    }

    list.nextPosition.assign(list.pages.size(), -1);
    int32_t highest = 0;
    for (const PageEntry& page : list.pages) highest = std::max(highest, page.objectNumber);
    list.firstPosition.assign(static_cast<size_t>(highest) + 1, -1);
    for (size_t i = list.pages.size(); i-- > 0;) {
        const int32_t number = list.pages[i].objectNumber;
        if (number <= 0) continue;
        list.nextPosition[i] = list.firstPosition[static_cast<size_t>(number)];
        list.firstPosition[static_cast<size_t>(number)] = static_cast<int32_t>(i);
    }
    return list;
}
