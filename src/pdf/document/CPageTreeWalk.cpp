#include "pdf/document/CPageTreeWalk.h"

#include <utility>

#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"

namespace {

constexpr const char* kLoop = "Page tree contains a loop";

int32_t NumberOf(const CPdfObject& stored) { return stored.is(pdfReference) ? stored.getRef().number : 0; }

}  // namespace

void CPageTreeWalk::Walk(const CPdfObject& stored, const CPdfObject& root) {
    list_.SetRoot(stored, root);
    CPdfObject rootKids = CheckedKids(stored, root);
    stack_.push_back({std::move(rootKids), 0, PageList::Inherit(root.getDict(), {}, NumberOf(stored)), true});
    while (!stack_.empty()) {
        Frame& frame = stack_.back();
        // The array lives as long as its frame; a visit reads it and the
        // inherited boxes before it pushes a frame of its own.
        const CPdfArray& kids = frame.kids.getArray();
        if (frame.next >= kids.getLength()) {
            stack_.pop_back();
            continue;
        }
        const size_t index = frame.next++;
        if (frame.checked) {
            VisitChecked(kids, index, frame.boxes);
        } else {
            VisitListed(kids, index, frame.boxes);
        }
    }
    if (!listFailure_) list_.BuildIndex();
}

void CPageTreeWalk::VisitChecked(const CPdfArray& kids, size_t index, const PageList::Inherited& inherited) {
    const CPdfObject kid = kids.get(index);
    if (!kid.is(pdfDictionary)) throw CPdfException("Kid CPdfObject is wrong type");
    const CPdfObject& stored = kids.getNF(index);
    PageList::Inherited boxes = PageList::Inherit(kid.getDict(), inherited, NumberOf(stored));
    if (!kid.getDict().isType("Page")) {
        CPdfObject kidKids = CheckedKids(stored, kid);
        stack_.push_back({std::move(kidKids), 0, std::move(boxes), true});
        return;
    }
    CPdfPage page;
    page.Load(static_cast<int32_t>(pages_.size() + 1), resolver_, kid.getDict(), boxes.resources.stored);
    const CPdfObject resources = std::move(page.resources);
    page.resources.clear();
    pages_.push_back(std::move(page));
    if (listFailure_) return;
    // Until the list walks below a page, its reading of the checked part is
    // the open's own, and what fails in it fails the open.
    if (!listedBelowAPage_) {
        listedBelowAPage_ = ListNode(stored, kid, std::move(boxes), &resources);
        return;
    }
    try {
        ListNode(stored, kid, std::move(boxes), &resources);
    } catch (const CPdfException&) {
        FailList(std::current_exception());
    }
}

void CPageTreeWalk::VisitListed(const CPdfArray& kids, size_t index, const PageList::Inherited& inherited) {
    try {
        const CPdfObject kid = kids.get(index);
        if (!kid.is(pdfDictionary)) {
            list_.AddPage(0, inherited, CPdfObject::Null());
            return;
        }
        ListNode(kids.getNF(index), kid, PageList::Inherit(kid.getDict(), inherited, NumberOf(kids.getNF(index))));
    } catch (const CPdfException&) {
        FailList(std::current_exception());
    }
}

bool CPageTreeWalk::ListNode(const CPdfObject& stored, const CPdfObject& node, PageList::Inherited boxes,
                             const CPdfObject* resources) {
    CPdfObject kids = node.getDict().lookup("Kids");
    if (!kids.is(pdfArray)) {
        list_.AddPage(NumberOf(stored), boxes, node, resources);
        return false;
    }
    if (!EnterListed(stored)) return false;
    stack_.push_back({std::move(kids), 0, std::move(boxes), false});
    return true;
}

CPdfObject CPageTreeWalk::CheckedKids(const CPdfObject& stored, const CPdfObject& node) {
    if (!EnterChecked(stored)) {
        CPdfObject none;
        none.setArray(nullptr);
        return none;
    }
    CPdfObject kids = node.getDict().lookup("Kids");
    if (!kids.is(pdfArray)) throw CPdfException("Kids CPdfObject is wrong type");
    return kids;
}

bool CPageTreeWalk::EnterChecked(const CPdfObject& stored) {
    if (!stored.is(pdfReference)) return true;
    const auto [at, added] = entered_.try_emplace(stored.getRef().number, true);
    if (added) return true;
    if (cutLoops_) return false;
    if (at->second) throw CPdfException(kLoop);
    // Entered before by the list alone: the list loops, the open does not.
    at->second = true;
    if (!listFailure_) FailList(std::make_exception_ptr(CPdfException(kLoop)));
    return true;
}

bool CPageTreeWalk::EnterListed(const CPdfObject& stored) {
    if (!stored.is(pdfReference)) return true;
    if (entered_.try_emplace(stored.getRef().number, false).second) return true;
    if (cutLoops_) return false;
    throw CPdfException(kLoop);
}

void CPageTreeWalk::FailList(std::exception_ptr failure) {
    listFailure_ = std::move(failure);
    while (!stack_.empty() && !stack_.back().checked) stack_.pop_back();
    list_.Clear();
}
