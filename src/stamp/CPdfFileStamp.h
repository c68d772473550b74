#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/document/ContentStateScanner.h"
#include "pdf/document/PageList.h"
#include "pdf/document/CPdfDocument.h"
#include "stamp/CPageEditor.h"
#include "stamp/CPdfFile.h"
#include "stamp/Placement.h"
#include "stamp/StampFrame.h"

class CPdfXRef;
struct StampOptions;

// The run both stamp modes share: open the input, create the output, write
// the stamp's shared objects, copy every object of the input under its own
// number (objects from object streams as plain objects; object streams
// themselves are left out), give each stamped page a new content stream and
// an edited page object, and end with a fresh cross-reference table.
// Incrementally: the input's bytes unchanged, then only the new and edited
// objects and a cross-reference section chained to the input's newest.
class CPdfFileStamp : public CPdfFile {
public:
    CPdfFileStamp();
    ~CPdfFileStamp() override;

    bool Process() override;

    // Throws when the opened document is encrypted with permissions that do
    // not allow changes and was not opened with its owner password.
    static void RequireChangesAllowed(const CPdfDocument& document);

    // The numbers behind the resource names ("F%d", "GS%d", "Im%d"); by
    // default drawn from the C library's generator seeded with the time, or
    // from the system's random source for an update.
    void SetResourceNumberSource(std::function<int32_t()> source) { resourceNumber_ = std::move(source); }

protected:
    // Before the output is created.
    virtual void OpenStampFiles() {}
    // The shared objects, the first objects after the header.
    virtual void PrepareSharedObjects() = 0;
    virtual void BeforeCopy() {}
    // The number shown on the page at `position` (from 0), or nothing when
    // the page is not stamped.
    virtual std::optional<int32_t> SelectPage(int32_t position) = 0;
    // Writes the page's content stream, its drawing inside `frame`; the page
    // object is edited next.
    virtual void WriteContentStream(int32_t position, int32_t stampNumber, const StampFrame& frame) = 0;
    // What the page's resources gain.
    virtual std::vector<ResourceFragment> Fragments() const = 0;
    // After the last object is copied.
    virtual void AfterCopy() {}
    // After the output is in place.
    virtual void Finish() {}
    virtual const StampOptions& SharedOptions() const = 0;

    // The placement for the page at `position`, before alignment.
    StampPlacement CalcPosition(int32_t position, const StampOptions& options) const;
    int32_t NextResourceNumber();

    CPdfDocument document_;
    CPdfXRef* xref_ = nullptr;
    PageList pageList_;
    // The page being stamped, as parsed.
    CPdfObject currentPage_;
    StampPlacement placement_;
    // The -password option: opens an encrypted input.
    std::string password_;

private:
    // The update's target, once the input is found able to take one.
    UpdateTarget CheckUpdatable();
    // The number the update's first new object gets.
    size_t FirstFreeNumber() const;
    void CopyObjects();
    // Only the stamped pages, for an update.
    void StampPages();
    // The first position of the page object `number` that is selected, and
    // its stamp number.
    std::optional<std::pair<int32_t, int32_t>> SelectedPosition(int32_t number);
    bool CopyObject(int32_t number);
    void StampPage(int32_t number, int32_t position, int32_t stampNumber, std::string bytes);
    // Whether the /Contents array object `number` is drawn by more than one page.
    bool IsSharedContents(int32_t number);

    std::function<int32_t()> resourceNumber_;
    std::optional<ContentStateScanner> scanner_;
    // The catalog marks the document as tagged.
    bool tagged_ = false;
    // The content stream holding only "q", written for the first page that
    // needs it; 0 before.
    int32_t saveStateNumber_ = 0;
    // How many pages name each /Contents object, counted when first needed.
    std::optional<std::unordered_map<int32_t, int32_t>> contentsUse_;
};
