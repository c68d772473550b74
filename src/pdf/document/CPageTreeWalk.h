#pragma once

#include <cstdint>
#include <exception>
#include <unordered_map>
#include <vector>

#include "pdf/document/CPdfPage.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfObject.h"

class CPdfArray;
class CPdfResolver;

// The one walk of the page tree, made when the document opens: depth first
// over the /Kids arrays, without recursion, checking the tree and adding
// every leaf to a PageList.
//
// A kid typed /Page is a page that must pass CPdfPage's checks and any other
// kid is a node that must have /Kids of its own. The list still walks the
// /Kids array of a page, reading the nodes below it the list's own way: a
// node with a /Kids array is walked and anything else is a page. A failure
// there, or a node the list reaches twice that way, ends the list only: the
// open goes on with its checks and the failure waits for whoever asks for
// the list.
//
// No node is entered twice (a loop, or a node under two parents): "Page tree
// contains a loop". Nodes written directly inside their parent cannot be
// reached twice and are not tracked.
class CPageTreeWalk {
public:
    // Each page checked is added to `pages`, without its resources (with
    // them every page of a large document would stay in memory).
    CPageTreeWalk(PageList& list, std::vector<CPdfPage>& pages, CPdfResolver* resolver)
        : list_(list), pages_(pages), resolver_(resolver) {}

    // A node reached again (a loop, or a node under two parents) is passed
    // over instead of failing: each page is listed as often as it is reached
    // through nodes walked once.
    void CutLoops() { cutLoops_ = true; }
    // Room for this many pages, made before the walk rather than doubled as
    // pages come.
    void Expect(size_t pages) {
        pages_.reserve(pages);
        list_.pages_.reserve(pages);
    }

    // Walks from the root node `root`, which the catalog stores as `stored`,
    // and indexes the list.
    void Walk(const CPdfObject& stored, const CPdfObject& root);
    // What ended the list; null when the list is whole.
    const std::exception_ptr& listFailure() const { return listFailure_; }

private:
    struct Frame {
        CPdfObject kids;
        size_t next = 0;
        PageList::Inherited boxes;
        bool checked = false;  // read for the open
    };

    void VisitChecked(const CPdfArray& kids, size_t index, const PageList::Inherited& inherited);
    void VisitListed(const CPdfArray& kids, size_t index, const PageList::Inherited& inherited);
    // The list's reading of a dictionary node: walked when it has a /Kids
    // array, else a page. Returns whether it is walked.
    // `resources` is the node's /Resources resolved, when the caller has it.
    bool ListNode(const CPdfObject& stored, const CPdfObject& node, PageList::Inherited boxes,
                  const CPdfObject* resources = nullptr);
    // The /Kids array that a node read for the open must have.
    CPdfObject CheckedKids(const CPdfObject& stored, const CPdfObject& node);
    // Whether the node is walked: false for one reached again when loops are
    // cut (otherwise that throws).
    bool EnterChecked(const CPdfObject& stored);
    bool EnterListed(const CPdfObject& stored);
    void FailList(std::exception_ptr failure);

    PageList& list_;
    std::vector<CPdfPage>& pages_;
    CPdfResolver* resolver_;
    std::vector<Frame> stack_;
    // Each node entered, by object number: true when the open's reading
    // entered it (the list's reading then did too), false for the list's alone.
    std::unordered_map<int32_t, bool> entered_;
    // Whether the list has walked below a page: from then on a failure of the
    // list's own reading ends the list only.
    bool listedBelowAPage_ = false;
    bool cutLoops_ = false;
    std::exception_ptr listFailure_;
};
