#include "pdf/document/PageList.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"

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

// The bit of a standard resource category, 0 for any other name.
uint8_t CategoryBit(std::string_view category) {
    static_assert(kResourceCategories.size() <= 8);
    for (size_t i = 0; i < kResourceCategories.size(); ++i)
        if (kResourceCategories[i] == category) return static_cast<uint8_t>(1u << i);
    return 0;
}

int32_t NumberOf(const CPdfObject& stored) { return stored.is(pdfReference) ? stored.getRef().number : 0; }

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

ResourceHolding ResourceHolding::Of(const CPdfObject& value) {
    if (value.is(pdfNull)) return {};
    if (value.is(pdfDictionary)) return {Kind::InPlace};
    if (value.is(pdfReference)) return {Kind::Object, value.getRef().number};
    return {Kind::Other};
}

std::optional<ResourceHolding> PageEntry::Holding(std::string_view category) const {
    const uint8_t bit = CategoryBit(category);
    if (!categoriesNoted || bit == 0) return std::nullopt;
    for (const ResourceObject& object : resourceObjects)
        if (object.category == category) return ResourceHolding{ResourceHolding::Kind::Object, object.number};
    if ((inPlaceCategories & bit) != 0) return ResourceHolding{ResourceHolding::Kind::InPlace};
    if ((otherCategories & bit) != 0) return ResourceHolding{ResourceHolding::Kind::Other};
    return ResourceHolding{};
}

PageList::Inherited PageList::Inherit(const CPdfDictionary& node, const Inherited& from, int32_t nodeNumber) {
    Inherited boxes{BoxOf(node, "CropBox"), BoxOf(node, "MediaBox"), from.resources, from.rotate};
    if (!boxes.cropBox) boxes.cropBox = from.cropBox;
    if (!boxes.mediaBox) boxes.mediaBox = from.mediaBox;
    if (const CPdfObject* resources = node.find("Resources"); resources != nullptr && !resources->is(pdfNull))
        boxes.resources = {*resources, nodeNumber};
    if (const CPdfObject rotate = node.lookup("Rotate"); !rotate.is(pdfNull))
        boxes.rotate = rotate.is(pdfInteger) ? rotate.getInt() : 0;
    return boxes;
}

void PageList::AddPage(int32_t objectNumber, const Inherited& boxes, CPdfObject page, const CPdfObject* resources) {
    static constexpr PageBox kLetter{0, 0, 612, 792};
    int32_t contents = 0;
    int32_t resourcesNumber = 0;
    std::vector<ResourceObject> resourceObjects;
    uint8_t inPlace = 0;
    uint8_t other = 0;
    bool noted = false;
    if (page.is(pdfDictionary)) {
        const CPdfDictionary& dict = page.getDict();
        contents = NumberOf(dict.lookupNF("Contents"));
        resourcesNumber = NumberOf(dict.lookupNF("Resources"));
        CPdfObject resolved = resources != nullptr ? *resources : dict.lookup("Resources");
        if (resolved.is(pdfNull)) resolved = boxes.resources.stored.fetch(dict.xref());
        if (resolved.is(pdfDictionary)) {
            noted = true;
            for (const auto& [category, value] : resolved.getDict().entries()) {
                const ResourceHolding holding = ResourceHolding::Of(value);
                if (holding.kind == ResourceHolding::Kind::Object)
                    resourceObjects.push_back({category, holding.number});
                if (holding.kind == ResourceHolding::Kind::Other) other |= CategoryBit(category);
                if (holding.kind != ResourceHolding::Kind::InPlace) continue;
                inPlace |= CategoryBit(category);
                for (const auto& entry : value.getDict().entries()) resourceNames_.insert(entry.first);
            }
        }
    }
    // The dictionaries of the first pages are kept; beyond them memory would
    // grow with the document, and those pages are read again when stamped.
    if (pages_.size() >= kKeptPages) page = CPdfObject::Null();
    pages_.push_back({objectNumber,
                      boxes.cropBox    ? *boxes.cropBox
                      : boxes.mediaBox ? *boxes.mediaBox
                                       : kLetter,
                      std::move(page), contents, boxes.rotate.value_or(0), boxes.resources, resourcesNumber,
                      inPlace, other, noted, std::move(resourceObjects)});
}

void PageList::SetRoot(const CPdfObject& stored, const CPdfObject& root) {
    if (stored.is(pdfReference)) {
        pagesObjectNumber_ = stored.getRef().number;
        pagesGeneration_ = stored.getRef().generation;
    }
    if (root.is(pdfDictionary)) pageCount_ = PageCountOf(root.getDict().lookup("Count"));
}

void PageList::BuildIndex() {
    nextPosition_.assign(pages_.size(), -1);
    int32_t highest = 0;
    for (const PageEntry& page : pages_) highest = std::max(highest, page.objectNumber);
    firstPosition_.assign(static_cast<size_t>(highest) + 1, -1);
    for (size_t i = pages_.size(); i-- > 0;) {
        const int32_t number = pages_[i].objectNumber;
        if (number <= 0) continue;
        nextPosition_[i] = firstPosition_[static_cast<size_t>(number)];
        firstPosition_[static_cast<size_t>(number)] = static_cast<int32_t>(i);
    }
    // The /Contents objects of the page objects, each page object once.
    std::vector<int32_t> contents;
    for (size_t i = 0; i < pages_.size(); ++i) {
        const PageEntry& page = pages_[i];
        if (page.contentsNumber <= 0) continue;
        if (page.objectNumber > 0 && firstPosition_[static_cast<size_t>(page.objectNumber)] != static_cast<int32_t>(i))
            continue;
        contents.push_back(page.contentsNumber);
    }
    std::sort(contents.begin(), contents.end());
    sharedContents_.clear();
    for (size_t i = 1; i < contents.size(); ++i) {
        if (contents[i] == contents[i - 1] && (sharedContents_.empty() || sharedContents_.back() != contents[i]))
            sharedContents_.push_back(contents[i]);
    }
}

void PageList::Clear() { *this = PageList(); }

PageList::Positions PageList::PositionsOf(int32_t objectNumber) const {
    if (objectNumber <= 0 || static_cast<size_t>(objectNumber) >= firstPosition_.size()) return {this, -1};
    return {this, firstPosition_[static_cast<size_t>(objectNumber)]};
}

PageList::Positions::Iterator& PageList::Positions::Iterator::operator++() {
    at_ = list_->nextPosition_[static_cast<size_t>(at_)];
    return *this;
}

bool PageList::IsSharedContents(int32_t number) const {
    return std::binary_search(sharedContents_.begin(), sharedContents_.end(), number);
}
