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
#include "stamp/ResourceNames.h"
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

    // The first number tried for the resource names ("F%d", "GS%d", "Im%d");
    // by default one that the input's identity and the parameter words give
    // (see CResourceNames). A number that a stamped page's resources use is
    // passed over either way.
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
        // Its /Rotate, its own or inherited.
        int32_t rotate = 0;
        // The page object as parsed; null when it is no dictionary.
        const CPdfObject& object;
    };

    // Before the output is created.
    virtual void OpenStampFiles() {}
    // Before the header: what the shared objects need worked out. Returns
    // the PDF version the stamp's objects and drawing need ("1.4"), or
    // nothing.
    virtual std::string_view PrepareStamp(const PageList&) { return {}; }
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
    // The number behind a resource name of the run, one for which no prefix
    // followed by it names a resource a page holds or the run took before.
    int32_t NextResourceNumber(std::initializer_list<std::string_view> prefixes);
    // The parameter words, of which the resource names' number is made.
    void RememberParameters(const std::vector<std::string>& words) { parameters_ = words; }

    // The -password option: opens an encrypted input.
    std::string password_;

private:
    // What one run opens and writes; see CPdfFileStamp.cpp.
    struct Run;

    // The update the output is, or nothing for a rewrite of the whole file:
    // an update with -incremental, and for a signed input unless
    // -break-signatures; throws when the input cannot take the update it
    // needs, or is certified against changes to its pages (unless
    // -ignore-docmdp).
    std::optional<UpdateTarget> ChooseUpdate(CPdfXRef& xref) const;
    static bool IsUpdatable(CPdfXRef& xref);
    void RequireCertificationAllows(CPdfXRef& xref) const;
    // Opens the input and checks that it may be stamped.
    void OpenInput(Run& run) const;
    // Everything up to the output's last byte.
    void Write(Run& run);
    // The positions (from 0, ascending) of the pages the run stamps: each
    // selected page whose object the input holds, at the first selected
    // position that lists it.
    std::vector<int32_t> StampedPositions(const CPdfXRef& xref, const PageList& pages);
    // The stamped page objects in ascending order (the order the copy meets
    // them, for the scans ahead) and the highest stamp number they carry.
    void ListStampedPages(Run& run);
    // The number the update's first new object gets.
    static size_t FirstFreeNumber(CPdfXRef& xref);
    void CopyObjects(Run& run);
    // Only the stamped pages, for an update.
    void StampPages(Run& run);
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
    // Seeds the resource names with the input and the parameters, and adds
    // the names the pages' resources give.
    void CollectResourceNames(Run& run);
    // The version the input declares, in its header and its catalog.
    static std::optional<std::string> InputVersion(Run& run);
    // An update declares `needed` in the catalog when the input declares less.
    static void DeclareVersionInCatalog(Run& run, std::string_view needed);
    // Fills the frame of the stamp on the page at `position` from what the
    // page's content leaves; returns the stream of "q" to draw first, 0 for none.
    static int32_t FramePage(Run& run, int32_t position, const CPdfObject& page, StampFrame& frame);
    // Selected pages without an object of their own cannot be edited.
    void RequireStampablePages(const Run& run);
    // A selected page that cannot carry the stamp fails the run.
    [[noreturn]] static void FailUnstampable(int32_t position);

    std::function<int32_t()> resourceNumber_;
    std::vector<std::string> parameters_;
    CResourceNames resourceNames_;
    int32_t highestStampNumber_ = 0;
    size_t scanThreads_ = 0;
};
