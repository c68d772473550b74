#include "pdf/document/CPdfCatalog.h"

#include <algorithm>

#include "base/CPdfException.h"
#include "pdf/document/CPageTreeWalk.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

void CPdfCatalog::Load(CPdfXRef& xref, bool cutLoops) {
    pages_.clear();
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) throw CPdfException("Catalog CPdfObject is wrong type");
    const CPdfObject top = catalog.getDict().lookup("Pages");
    if (!top.is(pdfDictionary)) throw CPdfException("Top-level pages CPdfObject is wrong type");
    const CPdfObject count = top.getDict().lookup("Count");
    if (!count.isNumber()) throw CPdfException("Page count in top-level pages CPdfObject is wrong type");
    const CPdfObject pagesStored = catalog.getDict().lookupNF("Pages");
    pageList_ = {};
    CPageTreeWalk walk(pageList_, pages_, &xref);
    if (cutLoops) walk.CutLoops();
    // As many as the root counts, but no more than the document has objects.
    walk.Expect(static_cast<size_t>(std::clamp<double>(count.getNumber(), 0, static_cast<double>(xref.entries().size()))));
    walk.Walk(pagesStored, top);
    pageListFailure_ = walk.listFailure();
    const CPdfObject names = catalog.getDict().lookup("Names");
    dests_ = names.is(pdfDictionary) ? names.getDict().lookup("Dests") : CPdfObject::Null();
    outlines_ = catalog.getDict().lookup("Outlines");
}

const PageList& CPdfCatalog::pageList() const {
    if (pageListFailure_) std::rethrow_exception(pageListFailure_);
    return pageList_;
}
