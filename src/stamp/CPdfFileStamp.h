#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pdf/document/PageList.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CPageEditor.h"
#include "stamp/CPdfFile.h"
#include "stamp/Placement.h"
#include "stamp/StampFrame.h"
#include "writer/COutputWriter.h"

class CPdfDocument;
class CPdfXRef;
class CStagedFiles;
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

    // What a batch runs for each document of a production. Process, except
    // that the output is closed under its temporary name and handed to
    // `staged` at `slot` to be put in place with the others, and Finish is
    // left to the batch.
    void ProcessStaged(CStagedFiles& staged, size_t slot);

    // Which pages a run stamps, known before anything is written.
    struct StampPlan {
        // The number of pages a text numbers (the M of "Page N / M").
        int32_t pageCount = 0;
        // The positions in the page list.
        int32_t listedPages = 0;
        // The selected positions (ascending) that are not stamped: a page
        // object listed again after a selected position, or one the input
        // does not hold. Every other selected position is stamped.
        std::vector<int32_t> skipped;
    };
    // Opens the input as Process does, with the same checks and failures,
    // reads its page tree and writes nothing. Which pages are selected does not
    // depend on the start number, so the plan holds for any.
    StampPlan Plan();

    // The highest number a stamped page shows, 0 when none is above 0 (what
    // -export adds one to); known once the run has begun to copy.
    int32_t highestStampNumber() const { return highestStampNumber_; }

    // Throws when the opened document is encrypted with permissions that do
    // not allow changes and was not opened with its owner password.
    static void RequireChangesAllowed(const CPdfDocument& document);

    // The numbers behind the resource names ("F%d", "GS%d", "Im%d"); by
    // default drawn from the C library's generator seeded with the time, or
    // from the system's random source for an update.
    void SetResourceNumberSource(std::function<int32_t()> source) { resourceNumber_ = std::move(source); }

protected:
    // A page being stamped, as a mode draws on it.
    struct StampedPage {
        // Its position in the page list (from 0) and the number shown on it.
        int32_t position = 0;
        int32_t stampNumber = 0;
        // The number of pages a text numbers (the M of "Page N / M").
        int32_t pageCount = 0;
        // Its box, as the page tree gives it.
        PageBox cropBox{};
        // The page object as parsed; null when it is no dictionary.
        const CPdfObject& object;
    };

    // Before the output is created.
    virtual void OpenStampFiles() {}
    // The shared objects, the first objects after the header.
    virtual void PrepareSharedObjects(COutputWriter& writer, const PageList& pages) = 0;
    virtual void BeforeCopy() {}
    // The number shown on the page at `position` (from 0) of `pageCount`
    // pages, or nothing when the page is not stamped.
    virtual std::optional<int32_t> SelectPage(int32_t position, int32_t pageCount) = 0;
    // Writes the page's content stream, its drawing inside `frame`, and
    // returns its number; the page object is edited next.
    virtual int32_t WriteContentStream(COutputWriter& writer, const StampedPage& page, const StampFrame& frame) = 0;
    // What the page's resources gain.
    virtual std::vector<ResourceFragment> Fragments() const = 0;
    // After the last object is copied.
    virtual void AfterCopy() {}
    // After the output is in place.
    virtual void Finish() {}
    virtual const StampOptions& SharedOptions() const = 0;

    // The placement for the page, before alignment.
    static StampPlacement CalcPosition(const StampedPage& page, const StampOptions& options);
    int32_t NextResourceNumber();

    // The -password option: opens an encrypted input.
    std::string password_;

private:
    // What one run opens and writes; see CPdfFileStamp.cpp.
    struct Run;

    // Opens the input and checks that it may be stamped.
    void OpenInput(Run& run) const;
    // Everything up to the output's last byte.
    void Write(Run& run);
    // The positions (from 0, ascending) of the pages the run stamps: each
    // selected page whose object the input holds, at the first selected
    // position that lists it.
    std::vector<int32_t> StampedPositions(const CPdfXRef& xref, const PageList& pages);
    void FindHighestStampNumber(const CPdfXRef& xref, const PageList& pages);
    // The update's target, once the input is found able to take one.
    UpdateTarget CheckUpdatable(CPdfXRef& xref) const;
    // The number the update's first new object gets.
    static size_t FirstFreeNumber(CPdfXRef& xref);
    void CopyObjects(Run& run);
    // Only the stamped pages, for an update.
    void StampPages(Run& run);
    // The first position of the page object `number` that is selected, and
    // its stamp number.
    std::optional<std::pair<int32_t, int32_t>> SelectedPosition(const PageList& pages, int32_t number);
    // Which input objects the page edits write again.
    void PlanEdits(Run& run);
    // Copies input object `number` as it is; with `mayDefer`, an object a page
    // edit writes is left to it.
    static bool CopyObject(Run& run, int32_t number, bool mayDefer);
    void StampPage(Run& run, int32_t number, int32_t position, int32_t stampNumber, RawObject object);

    std::function<int32_t()> resourceNumber_;
    int32_t highestStampNumber_ = 0;
};
