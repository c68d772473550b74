#pragma once

#include <vector>

#include "pdf/document/CPdfPage.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfObject.h"

class CPdfXRef;

// The catalog and the page tree, walked once when the document opens to check
// the structure that stamping relies on.
class CPdfCatalog {
public:
    // Throws CPdfException with a precise message when the catalog or the page
    // tree is not usable.
    void Load(CPdfXRef& xref);

    const std::vector<CPdfPage>& pages() const { return pages_; }
    const CPdfObject& outlines() const { return outlines_; }
    const CPdfObject& dests() const { return dests_; }
    // The page list, built on the same walk; none when a node typed /Page has
    // /Kids of its own, since the page list then reads the tree differently.
    const std::optional<PageList>& pageList() const { return pageList_; }

private:
    void Walk(const CPdfObject& topStored, const CPdfObject& top);

    CPdfXRef* xref_ = nullptr;
    std::vector<CPdfPage> pages_;
    CPdfObject outlines_;
    CPdfObject dests_;
    std::optional<PageList> pageList_;
};
