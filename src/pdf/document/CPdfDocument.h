#pragma once

#include <memory>
#include <string>
#include <string_view>

class CByteSource;
class CPdfCatalog;
class CPdfFileStream;
class CPdfXRef;

// The opened input document: the header found, the cross-reference and
// trailer read, the catalog and page tree checked.
class CPdfDocument {
public:
    CPdfDocument();
    ~CPdfDocument();
    CPdfDocument(const CPdfDocument&) = delete;
    CPdfDocument& operator=(const CPdfDocument&) = delete;

    // Opens and loads; throws CPdfException on failure, leaving the document
    // closed. An encrypted document opens with `password` (the user or the
    // owner password; empty: the empty user password).
    //
    // With `repair`, a file whose cross-reference cannot be read as written
    // (it fails to load, "startxref" misses its section, a /Prev chain loops,
    // or an entry does not lead to its object) is opened through a scan of
    // its bytes instead (CPdfXRef::Rebuild); when that fails too, the file
    // fails as it would without `repair`. A page tree that loops is walked
    // once through each node.
    void Open(const std::string& path, std::string_view password = {}, bool repair = false);
    void Open(std::shared_ptr<CByteSource> source, std::string_view password = {}, bool repair = false);
    void Close();
    bool isOpen() const { return open_; }

    CPdfXRef& xref() const { return *xref_; }
    CPdfCatalog& catalog() const { return *catalog_; }
    // The header token after "%", such as PDF-1.4; empty when no header was found.
    const std::string& version() const { return version_; }
    const std::shared_ptr<CByteSource>& source() const { return source_; }

private:
    void CheckHeader();
    // The cross-reference (read as written, or rebuilt), the security handler
    // and the catalog.
    void Load(std::string_view password, bool rebuild, bool repair);
    void OpenRepairing(std::string_view password);
    void OpenSecurity(std::string_view password);

    bool open_ = false;
    std::shared_ptr<CByteSource> source_;
    std::shared_ptr<CPdfFileStream> file_;
    std::unique_ptr<CPdfXRef> xref_;
    std::unique_ptr<CPdfCatalog> catalog_;
    std::string version_;
};
