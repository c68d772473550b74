#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CPdfDictionary;

using PageBox = std::array<float, 4>;

// The categories of a resource dictionary.
inline constexpr std::array<std::string_view, 8> kResourceCategories{
    "ExtGState", "ColorSpace", "Pattern", "Shading", "XObject", "Font", "ProcSet", "Properties"};

// A sub-dictionary of a page's resources that is an object of its own.
struct ResourceObject {
    std::string category;  // Font, XObject, ExtGState, ...
    int32_t number = 0;
};

// How a page's resources hold one category (Font, XObject, ...): what an
// edit that adds entries to the category must know of it.
struct ResourceHolding {
    enum class Kind : uint8_t {
        Absent,   // no value, or null
        InPlace,  // a dictionary written in the resources
        Object,   // a reference to an object of its own
        Other,    // any other value
    };
    Kind kind = Kind::Absent;
    int32_t number = 0;  // the object's, for Object

    static ResourceHolding Of(const CPdfObject& value);
};

// The /Resources a page takes when it has none of its own: the value as the
// nearest node on its path from the root stores it (a reference or a
// dictionary; null when no node has one), and that node's object number (0
// for a node written directly in its parent).
struct InheritedResources {
    CPdfObject stored = CPdfObject::Null();
    int32_t holder = 0;
};

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
    // The page's /Rotate, or the nearest parent's when it has none: the
    // integer as stored (0 for none, or for a value that is no integer).
    int32_t rotate = 0;
    // The nearest /Resources on the path from the root, the page's own
    // included; what a page without its own uses.
    InheritedResources resources;
    // The object the page's own /Resources refers to, 0 when it is not a
    // reference, and the sub-dictionaries of the resources it draws with
    // that are objects of their own: what an edit of the page's resources
    // may write again.
    int32_t resourcesNumber = 0;
    // The standard categories the resources hold as dictionaries in place,
    // and as other values (a bit for each, in the order of
    // kResourceCategories), noted when the resources are a dictionary.
    // Kept in the room before the vector.
    uint8_t inPlaceCategories = 0;
    uint8_t otherCategories = 0;
    bool categoriesNoted = false;
    std::vector<ResourceObject> resourceObjects;

    // How the page's resources (its own, else the inherited ones) hold
    // `category`, as the walk read them; nothing when it did not note it.
    std::optional<ResourceHolding> Holding(std::string_view category) const;
};

// Every leaf of the page tree in document order, as the walk that opens the
// document lists it (CPageTreeWalk, for CPdfCatalog::pageList), indexed by
// page object number.
class PageList {
public:
    // Pages whose dictionaries the list keeps.
    static constexpr size_t kKeptPages = 4096;

    // The positions (from 0) in the list of one page object, ascending.
    class Positions {
    public:
        class Iterator {
        public:
            int32_t operator*() const { return at_; }
            Iterator& operator++();
            bool operator==(const Iterator&) const = default;

        private:
            friend class Positions;
            Iterator(const PageList* list, int32_t at) : list_(list), at_(at) {}

            const PageList* list_;
            int32_t at_;
        };

        Iterator begin() const { return {list_, first_}; }
        Iterator end() const { return {list_, -1}; }
        bool empty() const { return first_ < 0; }

    private:
        friend class PageList;
        Positions(const PageList* list, int32_t first) : list_(list), first_(first) {}

        const PageList* list_;
        int32_t first_;
    };

    const std::vector<PageEntry>& pages() const { return pages_; }
    // The root node's /Count (a real is truncated); not the number of leaves.
    int32_t pageCount() const { return pageCount_; }
    // The root node's number and generation, 0 when it is no object of its own.
    int32_t pagesObjectNumber() const { return pagesObjectNumber_; }
    int32_t pagesGeneration() const { return pagesGeneration_; }

    // Where page object `objectNumber` is listed, without a scan of the list;
    // empty for a number that is no page (and for 0).
    Positions PositionsOf(int32_t objectNumber) const;
    // Whether the /Contents array object `number` is drawn by more than one
    // page object (a page object listed twice counts once).
    bool IsSharedContents(int32_t number) const;
    // The names the pages' resources give (the keys of their sub-dictionaries
    // written in place; those that are objects of their own are listed in
    // each page's `resourceObjects`).
    const std::unordered_set<std::string>& resourceNames() const { return resourceNames_; }

private:
    // The walk builds the list.
    friend class CPageTreeWalk;

    // The boxes, resources and rotation a node passes on to the nodes below it.
    struct Inherited {
        std::optional<PageBox> cropBox;
        std::optional<PageBox> mediaBox;
        InheritedResources resources;
        std::optional<int32_t> rotate;
    };
    // What `node` (object `nodeNumber`, 0 when written directly) passes on:
    // its own entries, else the ones it inherits.
    static Inherited Inherit(const CPdfDictionary& node, const Inherited& from, int32_t nodeNumber = 0);

    // The root node as the catalog stores it and as it resolves: its number
    // and generation when stored as a reference, its /Count when a dictionary.
    void SetRoot(const CPdfObject& stored, const CPdfObject& root);
    // A leaf: its entry, with the nearest /CropBox, else /MediaBox, else
    // Letter. `resources` is the page's /Resources resolved (its own, else
    // the inherited ones), when the caller has it; else it is resolved here.
    void AddPage(int32_t objectNumber, const Inherited& boxes, CPdfObject page, const CPdfObject* resources = nullptr);
    // Once every page is added: the positions by object number, and the
    // /Contents objects drawn by more than one page object.
    void BuildIndex();
    void Clear();

    std::vector<PageEntry> pages_;
    int32_t pageCount_ = 0;
    int32_t pagesObjectNumber_ = 0;
    int32_t pagesGeneration_ = 0;
    // The first position of each page object and the next position naming
    // the same object.
    std::vector<int32_t> firstPosition_;  // indexed by object number, -1 for none
    std::vector<int32_t> nextPosition_;   // indexed by position, -1 at the end
    // Sorted.
    std::vector<int32_t> sharedContents_;
    std::unordered_set<std::string> resourceNames_;
};
