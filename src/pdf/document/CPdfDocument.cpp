#include "pdf/document/CPdfDocument.h"

#include <cstring>
#include <exception>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

constexpr std::string_view kHeaderMark = "%PDF-";
constexpr size_t kHeaderWindow = 1023;
constexpr size_t kLastHeaderStart = 1017;

}  // namespace

CPdfDocument::CPdfDocument() = default;

CPdfDocument::~CPdfDocument() { Close(); }

void CPdfDocument::Open(const std::string& path, std::string_view password, bool repair) {
    Close();
    Open(std::make_shared<CFileByteSource>(path, "Can't open file"), password, repair);
}

void CPdfDocument::Open(std::shared_ptr<CByteSource> source, std::string_view password, bool repair) {
    Close();
    source_ = std::move(source);
    file_ = std::make_shared<CPdfFileStream>(source_, 0, 0, CPdfObject::Null());
    try {
        CheckHeader();
        if (repair) {
            OpenRepairing(password);
        } else {
            Load(password, false, false);
        }
    } catch (...) {
        Close();
        throw;
    }
    open_ = true;
}

void CPdfDocument::Load(std::string_view password, bool rebuild, bool repair) {
    catalog_.reset();
    xref_ = std::make_unique<CPdfXRef>(file_);
    if (rebuild) {
        xref_->Rebuild();
    } else {
        xref_->Load();
    }
    OpenSecurity(password);
    catalog_ = std::make_unique<CPdfCatalog>();
    catalog_->Load(*xref_, repair);
}

void CPdfDocument::OpenRepairing(std::string_view password) {
    // As written, when the cross-reference leads to every object.
    std::exception_ptr asWritten;
    try {
        Load(password, false, true);
        if (xref_->intact() && !xref_->FindMisplacedObject()) return;
    } catch (const CPdfException&) {
        asWritten = std::current_exception();
    }
    try {
        Load(password, true, true);
        return;
    } catch (const CPdfException&) {
        // Neither way: the failure of the file as written.
        if (asWritten) std::rethrow_exception(asWritten);
    }
    Load(password, false, true);
}

void CPdfDocument::OpenSecurity(std::string_view password) {
    const CPdfDictionary& trailer = xref_->trailer().getDict();
    const CPdfObject stored = trailer.lookupNF("Encrypt");
    if (stored.is(pdfNull)) return;
    // Read before the handler is set: its strings are not encrypted. One that
    // cannot be read is a handler this reader does not know.
    CPdfObject encrypt;
    try {
        encrypt = trailer.lookup("Encrypt");
    } catch (const CPdfException&) {
    }
    if (!encrypt.is(pdfDictionary)) throw CPdfException("Encrypted PDF files are not supported");
    std::string firstId;
    const CPdfObject id = trailer.lookup("ID");
    if (id.is(pdfArray) && id.getArray().getLength() > 0) {
        const CPdfObject first = id.getArray().get(0);
        if (first.is(pdfString)) firstId = first.getString().bytes();
    }
    auto handler = std::make_unique<CPdfSecurityHandler>(encrypt.getDict(), std::move(firstId));
    if (!handler->Authenticate(password))
        throw CPdfException("Wrong or missing password: give the document's user or owner password with -password");
    xref_->SetSecurityHandler(std::move(handler), stored.is(pdfReference) ? stored.getRef().number : -1);
}

void CPdfDocument::Close() {
    catalog_.reset();
    xref_.reset();
    file_.reset();
    source_.reset();
    version_.clear();
    open_ = false;
}

void CPdfDocument::CheckHeader() {
    // The first kHeaderWindow bytes; "%PDF-" may start at any position up to
    // kLastHeaderStart.
    char buffer[kHeaderWindow + 1];
    std::memset(buffer, 0xFF, sizeof buffer);
    file_->SetPos(0, SeekOrigin::Start);
    file_->Read(reinterpret_cast<uint8_t*>(buffer), kHeaderWindow);
    buffer[kHeaderWindow] = '\0';
    for (size_t i = 0; i <= kLastHeaderStart; ++i) {
        if (std::strncmp(buffer + i, kHeaderMark.data(), kHeaderMark.size()) != 0) continue;
        file_->MoveStart(static_cast<int64_t>(i));
        const char* text = buffer + i + 1;
        version_.assign(text, std::strcspn(text, " \t\n\r"));
        return;
    }
}
