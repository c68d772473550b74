#include "pdf/document/CPdfCatalog.h"

#include <unordered_set>

#include "base/CPdfException.h"
#include "pdf/document/PageTreeGuard.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

void CPdfCatalog::Load(CPdfXRef& xref) {
    xref_ = &xref;
    pages_.clear();
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) throw CPdfException("Catalog CPdfObject is wrong type");
    const CPdfObject top = catalog.getDict().lookup("Pages");
    if (!top.is(pdfDictionary)) throw CPdfException("Top-level pages CPdfObject is wrong type");
    if (!top.getDict().lookup("Count").isNumber())
        throw CPdfException("Page count in top-level pages CPdfObject is wrong type");
    pageList_.emplace();
    const CPdfObject pagesStored = catalog.getDict().lookupNF("Pages");
    if (pagesStored.is(pdfReference)) {
        pageList_->pagesObjectNumber = pagesStored.getRef().number;
        pageList_->pagesGeneration = pagesStored.getRef().generation;
    }
    pageList_->pageCount = PageCountOf(top.getDict().lookup("Count"));
    Walk(pagesStored, top);
    const CPdfObject names = catalog.getDict().lookup("Names");
    dests_ = names.is(pdfDictionary) ? names.getDict().lookup("Dests") : CPdfObject::Null();
    outlines_ = catalog.getDict().lookup("Outlines");
}

// Depth first over the /Kids arrays, without recursion: a kid typed /Page is
// a page, any other kid is a node that must have /Kids of its own. The page
// list is built on the way.
void CPdfCatalog::Walk(const CPdfObject& topStored, const CPdfObject& top) {
    struct Frame {
        CPdfObject kids;
        size_t next = 0;
        PageList::Inherited boxes;
    };
    PageTreeGuard guard;
    const auto kidsOf = [&guard](const CPdfObject& stored, const CPdfObject& node) {
        guard.Enter(stored);
        CPdfObject kids = node.getDict().lookup("Kids");
        if (!kids.is(pdfArray)) throw CPdfException("Kids CPdfObject is wrong type");
        return kids;
    };
    std::vector<Frame> stack;
    stack.push_back({kidsOf(topStored, top), 0, PageList::Inherit(top.getDict(), {})});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const CPdfArray& kids = frame.kids.getArray();
        if (frame.next >= kids.getLength()) {
            stack.pop_back();
            continue;
        }
        const size_t index = frame.next++;
        const CPdfObject kid = kids.get(index);
        if (!kid.is(pdfDictionary)) throw CPdfException("Kid CPdfObject is wrong type");
        PageList::Inherited boxes = PageList::Inherit(kid.getDict(), frame.boxes);
        if (kid.getDict().isType("Page")) {
            CPdfPage page;
            page.Load(static_cast<int32_t>(pages_.size() + 1), xref_, kid.getDict());
            // The resources are checked, not kept: with them every page of a
            // large document would stay in memory.
            page.resources.clear();
            pages_.push_back(std::move(page));
            if (pageList_ && kid.getDict().lookup("Kids").is(pdfArray)) pageList_.reset();
            const CPdfObject& stored = kids.getNF(index);
            if (pageList_) pageList_->AddPage(stored.is(pdfReference) ? stored.getRef().number : 0, boxes, kid);
            continue;
        }
        CPdfObject kidKids = kidsOf(kids.getNF(index), kid);
        stack.push_back({std::move(kidKids), 0, std::move(boxes)});
    }
    if (pageList_) pageList_->BuildIndex();
}
