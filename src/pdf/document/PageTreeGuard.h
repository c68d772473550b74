#pragma once

#include <unordered_set>

#include "base/CPdfException.h"
#include "pdf/object/CPdfObject.h"

// Stops a walk of the page tree that would enter the same node twice (a tree
// that loops back on itself, or one node listed under two parents), so that
// no walk can run forever or multiply its work.
class PageTreeGuard {
public:
    // `stored` is the node as its parent lists it; nodes written directly
    // inside their parent cannot be reached twice and are not tracked.
    void Enter(const CPdfObject& stored) {
        if (!stored.is(pdfReference)) return;
        if (!seen_.insert(stored.getRef().number).second) throw CPdfException("Page tree contains a loop");
    }

private:
    std::unordered_set<int32_t> seen_;
};
