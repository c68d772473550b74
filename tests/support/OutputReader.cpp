#include "support/OutputReader.h"

#include "base/CByteSource.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "support/CopiedBytes.h"

OutputReader::OutputReader(const std::string& bytes) : document_(std::make_unique<CPdfDocument>()) {
    document_->Open(std::make_shared<CMemoryByteSource>(bytes));
}

OutputReader::~OutputReader() = default;

std::optional<std::string> OutputReader::Object(int32_t number) const { return CopiedBytes(document_->xref(), number); }

int32_t OutputReader::size() const { return static_cast<int32_t>(document_->xref().entries().size()); }
