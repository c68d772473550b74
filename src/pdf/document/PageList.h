#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CPdfDocument;
class CPdfXRef;

class CPdfDictionary;

using PageBox = std::array<float, 4>;

// One page of the stamp list: the page object's number (0 when the page has
// no object of its own) and its effective page box x1, y1, x2, y2 as listed.
struct PageEntry {
    int32_t objectNumber = 0;
    std::array<float, 4> cropBox{};
    // The page dictionary as the walk found it (for the first pages of a
    // document only), so that stamping need not parse the page again.
    CPdfObject page;
    // The object /Contents refers to, 0 when it is not a reference.
    int32_t contentsNumber = 0;
    // The object /Resources refers to, 0 when it is not a reference.
    int32_t resourcesNumber = 0;
};

// Every leaf of the page tree in document order.
struct PageList {
    // Pages whose dictionaries the list keeps.
    static constexpr size_t kKeptPages = 4096;

    std::vector<PageEntry> pages;
    // The root node's /Count (a real is truncated); not the number of leaves.
    int32_t pageCount = 0;
    int32_t pagesObjectNumber = 0;
    int32_t pagesGeneration = 0;

    // The first position (from 0) in `pages` of each page object, and the
    // next position naming the same object, so that the positions of an
    // object number are found without a scan of the list.
    std::vector<int32_t> firstPosition;  // indexed by object number, -1 for none
    std::vector<int32_t> nextPosition;   // indexed by position, -1 at the end

    int32_t FirstPositionOf(int32_t objectNumber) const;

    // The root node as the catalog stores it and as it resolves: its number
    // and generation when stored as a reference, its /Count when a dictionary.
    void SetRoot(const CPdfObject& stored, const CPdfObject& root);

    // The boxes a node passes on to the nodes below it.
    struct Inherited {
        std::optional<PageBox> cropBox;
        std::optional<PageBox> mediaBox;
    };
    // What `node` passes on: its own boxes, else the ones it inherits.
    static Inherited Inherit(const CPdfDictionary& node, const Inherited& from);
    // A leaf: its entry, with the nearest /CropBox, else /MediaBox, else Letter.
    void AddPage(int32_t objectNumber, const Inherited& boxes, CPdfObject page);
    // Fills the positions by object number once every page is added.
    void BuildIndex();
};

// Walks the page tree from the catalog: a node with a /Kids array is walked,
// anything else is a page. The box is the nearest /CropBox on the path from
// the root, else the nearest /MediaBox, else 0 0 612 792. (Opening a document
// builds the same list on the walk that checks the tree.)
PageList BuildPageList(CPdfXRef& xref);

// The page list of an opened document that a stamp run numbers: the one the
// catalog built while the document opened. Its pageCount is the M of
// "Page N / M". Throws what stopped the list (see CPdfCatalog::pageList).
const PageList& StampPageList(const CPdfDocument& document);
