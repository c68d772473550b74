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
    // How many threads scan page content ahead of the copy: 0 (the default)
    // for as many as the processor has cores, 1 for none. The output is the
    // same for any number.
    void SetScanThreads(size_t threads) { scanThreads_ = threads; }

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
    // The PDF version what the stamp draws needs ("PDF-1.5"), empty for any;
    // asked after OpenStampFiles. A full rewrite of an older file gets this
    // version; an update keeps the file's, and the stamp is told to do
    // without (KeepVersion).
    virtual std::string LeastVersion() const { return {}; }
    virtual void KeepVersion() {}
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

    // The header, or the copy of the input an update begins with.
    void BeginOutput(Run& run, const std::optional<UpdateTarget>& update);
    // The update's target, once the input is found able to take one.
    UpdateTarget CheckUpdatable(CPdfXRef& xref) const;
    // The number the update's first new object gets.
    static size_t FirstFreeNumber(CPdfXRef& xref);
    void CopyObjects(Run& run);
    // Only the stamped pages, for an update.
    void StampPages(Run& run);
    // The page objects that are stamped, in the order they are.
    std::vector<int32_t> StampOrder(const PageList& pages);
    // Starts the content scans of the pages stamped after `number` (the page
    // being stamped), a few pages ahead; the pages read for it wait in the run.
    static void ScanAhead(Run& run, int32_t number);
    // Prepares the content scans of page object `number`.
    static void PreparePage(Run& run, int32_t number);
    // The page object `number` as parsed: kept by the page list, read ahead,
    // or read now.
    static CPdfObject PageObject(Run& run, int32_t number, const PageEntry& listed);
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
    size_t scanThreads_ = 0;
};
