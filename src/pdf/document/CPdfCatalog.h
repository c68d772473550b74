#pragma once

#include <vector>

#include "pdf/document/CPdfPage.h"
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

private:
    void Walk(const CPdfObject& top);

    CPdfXRef* xref_ = nullptr;
    std::vector<CPdfPage> pages_;
    CPdfObject outlines_;
    CPdfObject dests_;
};
