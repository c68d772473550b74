#include "stamp/CEditedObjects.h"

#include <algorithm>

#include "pdf/document/PageList.h"

CEditedObjects::CEditedObjects(const PageList& pages, const std::function<bool(int32_t position)>& selected,
                               const std::vector<std::string>& categories) {
    for (size_t position = 0; position < pages.pages().size(); ++position) {
        if (!selected(static_cast<int32_t>(position))) continue;
        const PageEntry& page = pages.pages()[position];
        Mark(page.resourcesNumber, kResources);
        for (const ResourceObject& sub : page.resourceObjects) {
            if (std::find(categories.begin(), categories.end(), sub.category) != categories.end())
                Mark(sub.number, kResources);
        }
        // A /Contents array that other pages draw too is not edited: the
        // stamped page gets an array of its own.
        if (page.contentsNumber > 0 && !pages.IsSharedContents(page.contentsNumber))
            Mark(page.contentsNumber, kContents);
    }
}

void CEditedObjects::Mark(int32_t number, Use use) {
    if (number <= 0) return;
    if (static_cast<size_t>(number) >= use_.size()) use_.resize(static_cast<size_t>(number) + 1, kNone);
    // A resources object that is also a page's contents (a damaged file)
    // counts as resources: it is left to the edit whatever it is.
    if (use_[static_cast<size_t>(number)] != kResources) use_[static_cast<size_t>(number)] = use;
}

bool CEditedObjects::Defers(int32_t number, const std::function<bool()>& isStream) {
    if (number <= 0 || static_cast<size_t>(number) >= use_.size()) return false;
    const uint8_t use = use_[static_cast<size_t>(number)];
    if (use == kNone || use == kEdited || (use == kContents && isStream())) return false;
    deferred_.push_back(number);
    return true;
}

bool CEditedObjects::MarkEdited(int32_t number) {
    if (number <= 0) return true;
    if (static_cast<size_t>(number) >= use_.size()) use_.resize(static_cast<size_t>(number) + 1, kNone);
    if (use_[static_cast<size_t>(number)] == kEdited) return false;
    use_[static_cast<size_t>(number)] = kEdited;
    return true;
}
