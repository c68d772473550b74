#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/object/CPdfObject.h"
#include "pdf/object/CPdfResolver.h"
#include "pdf/reader/ObjectStream.h"
#include "pdf/reader/RawObjectLocation.h"
#include "pdf/reader/XRefEntry.h"

class CByteSource;
class CPdfFileStream;
class CPdfParser;
class CPdfSecurityHandler;
class CPdfStream;
class CXRefRepair;

// The input's cross-reference information: one entry per object number, read
// from "startxref" back along /Prev (the newest section wins for every
// number), the newest trailer, and the values of objects fetched by number.
class CPdfXRef : public CPdfResolver {
public:
    // Object numbers above this are refused: it is the largest number an
    // indirect object may have.
    static constexpr int64_t kMaxObjectNumber = 8388607;
    // A decoded object stream may not grow beyond this.
    static constexpr size_t kMaxObjectStreamSize = 128u << 20;

    // `file` is the whole-file stream; its start is the header position.
    explicit CPdfXRef(std::shared_ptr<CPdfFileStream> file);
    ~CPdfXRef() override;

    // Reads every section and the trailer's references.
    void Load();
    // For a file whose cross-reference cannot be read as written: the object
    // map rebuilt from a scan of the file (CXRefRepair), object streams' members
    // included, and the trailer of the newest section that names a catalog;
    // when none does, the last object typed /Catalog, with the other entries
    // of the newest trailer found. Throws "PDF file was damaged" when no
    // catalog is found either way.
    void Rebuild();
    // The object map was rebuilt by a scan.
    bool rebuilt() const { return rebuilt_; }
    // In a rebuilt file: the length of the data of stream object `number` as
    // the scan found it, when its /Length may not lead to "endstream".
    std::optional<int64_t> ScannedDataLength(int32_t number) const;
    CPdfObject Fetch(int32_t number, int32_t generation) override;
    // Fetch, for an object whose value reads no object stream: nothing when
    // the object, or an object its value needs (a stream's /Length), is in
    // one. Neither the object streams kept nor the bytes they may still take
    // change, so a caller may read ahead of its turn.
    std::optional<CPdfObject> FetchOutsideObjectStreams(int32_t number, int32_t generation);

    const std::vector<XRefEntry>& entries() const { return entries_; }
    PdfReference root() const { return root_; }
    PdfReference info() const { return info_; }
    const CPdfObject& trailer() const { return trailer_; }
    int64_t base() const { return base_; }
    // The position in the file of an offset counted from the header: base +
    // offset, or the largest position (beyond any file) when that sum does
    // not fit in 64 bits.
    int64_t FilePosition(int64_t offset) const;
    const std::shared_ptr<CByteSource>& source() const;

    // Where LocateRawObject found an object lately, so that locating it
    // again (a page's content stream, looked at by the page's edit and then
    // copied) reads nothing: kept for a few objects, by their last bits.
    const RawObjectLocation* LastLocated(int32_t number) const {
        const Located& slot = located_[static_cast<uint32_t>(number) % located_.size()];
        return slot.number == number ? &slot.location : nullptr;
    }
    void RememberLocated(int32_t number, const RawObjectLocation& location) {
        located_[static_cast<uint32_t>(number) % located_.size()] = {number, location};
    }

    // The generation under which object `number` is written: its entry's for
    // an object in the file, 0 for one in an object stream.
    int32_t GenerationOf(int32_t number) const;

    // The exact bytes of a compressed object inside its decoded object stream;
    // valid until the next request for another object stream.
    std::optional<std::string_view> GetObjectStreamBytes(int32_t number, int32_t generation);

    // An encrypted document: values fetched from now on are decrypted with the
    // handler's keys, except those of object `encryptNumber` (the /Encrypt
    // dictionary, -1 when it is direct), whose strings are not encrypted.
    void SetSecurityHandler(std::unique_ptr<CPdfSecurityHandler> handler, int32_t encryptNumber);
    CPdfSecurityHandler* securityHandler() const { return security_.get(); }
    int32_t encryptNumber() const { return encryptNumber_; }

    // The last "startxref" value in the last 1023 bytes (or the whole of a
    // shorter file); 0 when there is none.
    static int64_t FindStartXRef(CPdfStream& file);

    // The section "startxref" names, the newest: its offset from the header
    // and its form.
    struct Section {
        int64_t offset = 0;
        bool isStream = false;
    };
    const Section& newestSection() const { return newest_; }
    // Whether the sections were read as the file states them: "startxref"
    // names the first byte of a section, and no damage was passed over (a
    // /Prev chain that comes back to a section already read, a hybrid file's
    // unreadable cross-reference stream).
    bool intact() const { return intact_; }
    // The first object number whose entry places it in the file where its
    // "number generation obj" header is not; nothing when every entry leads
    // to its object. The entries of cross-reference streams, which nothing
    // finds by number, are not looked at. Reads a few bytes per object, in
    // file order.
    std::optional<int32_t> FindMisplacedObject() const;

private:
    void ReadXRef(int64_t pos, std::optional<int64_t>& prev, bool streamOnly);
    void ReadXRefTable(CPdfParser& parser, std::optional<int64_t>& prev, std::optional<int64_t>& xrefStm);
    // The entries of a subsection from `first` on, as long as they stand in
    // their usual form, read straight from the bytes where the parser stands,
    // which then stands after them: how many (at most `count`).
    int64_t ReadPlainEntries(CPdfParser& parser, int64_t first, int64_t count);
    // A table's entry for object `number`, unless a newer section set it.
    void SetTableEntry(int64_t number, int64_t offset, int64_t generation, XRefEntryType type);
    void ReadXRefStream(CPdfStream& stream, std::optional<int64_t>& prev);
    void ReadXRefStreamSection(CPdfStream& stream, const int32_t widths[3], int64_t first, int64_t count);
    void Grow(int64_t size);
    // Rebuilding: the members of the object stream found at `position` take
    // their numbers unless a later definition in the file has them.
    void AddObjectStreamMembers(int32_t streamNumber, int64_t position);
    void ChooseTrailer(const CXRefRepair& scan);
    // The dictionary of the trailer, or of the cross-reference stream, at
    // `position`; null when there is none.
    CPdfObject TrailerAt(int64_t position, bool isStream);
    bool IsCatalog(const CPdfObject& root);
    std::optional<PdfReference> FindCatalogByType();
    std::shared_ptr<const ObjectStreamCache> ObjectStream(int32_t streamNumber);
    std::shared_ptr<ObjectStreamCache> LoadObjectStream(int32_t streamNumber);

    std::shared_ptr<CPdfFileStream> file_;
    int64_t base_ = 0;
    std::vector<XRefEntry> entries_;
    PdfReference root_{};
    PdfReference info_{};
    CPdfObject trailer_;
    std::set<int64_t> visited_;
    Section newest_;
    bool intact_ = true;
    bool rebuilt_ = false;
    struct Located {
        int32_t number = -1;
        RawObjectLocation location;
    };
    std::array<Located, 16> located_;
    std::unordered_map<int32_t, int64_t> scannedLengths_;
    // The numbers the cross-reference streams read stand under.
    std::set<int32_t> xrefStreamNumbers_;
    // Numbers the classic table being read marked free: in a hybrid file its
    // cross-reference stream may list them in use.
    std::unordered_set<int64_t> sectionFree_;
    // Decoded object streams, most recently used first.
    std::vector<std::shared_ptr<ObjectStreamCache>> objectStreams_;
    std::set<int32_t> loading_;
    // Rows read from cross-reference streams so far, and what is left of the
    // bytes that decoding object streams may still take.
    int64_t xrefStreamRows_ = 0;
    uint64_t objectStreamBudget_ = 0;
    int fetchDepth_ = 0;
    // Set by FetchOutsideObjectStreams: a fetch from an object stream gives
    // null and is noted.
    bool objectStreamsBarred_ = false;
    bool objectStreamAsked_ = false;
    // The objects being fetched, outermost first, and the fetches made below
    // the outermost one so far.
    std::vector<int32_t> fetching_;
    int nestedFetches_ = 0;
    std::unique_ptr<CPdfSecurityHandler> security_;
    int32_t encryptNumber_ = -1;
};
