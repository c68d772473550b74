#pragma once

#include <exception>
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
    // tree is not usable. With `cutLoops`, a node reached again is passed over
    // instead of failing the open (CPageTreeWalk::CutLoops).
    void Load(CPdfXRef& xref, bool cutLoops = false);

    const std::vector<CPdfPage>& pages() const { return pages_; }
    const CPdfObject& outlines() const { return outlines_; }
    const CPdfObject& dests() const { return dests_; }
    // The page list, built on the same walk. Below a node typed /Page that has
    // /Kids of its own the list reads on where the checks stop (CPageTreeWalk):
    // what fails there is thrown here, not by Load.
    const PageList& pageList() const;

private:
    std::vector<CPdfPage> pages_;
    CPdfObject outlines_;
    CPdfObject dests_;
    PageList pageList_;
    std::exception_ptr pageListFailure_;
};
