#include "stamp/CPdfFilePageCount.h"

#include <memory>

#include "base/CByteSource.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "stamp/CPdfFileStamp.h"
#include "stamp/OptionParser.h"

bool CPdfFilePageCount::ParseParams(const std::vector<std::string>& words) {
    ParsePagesParams(words, inputFileName_, password_, repair_);
    return true;
}

bool CPdfFilePageCount::Process() {
    CPdfDocument document;
    document.Open(std::make_shared<CFileByteSource>(inputFileName_, "File open error"), password_, repair_);
    CPdfFileStamp::RequireChangesAllowed(document);
    pageCount_ = document.catalog().pageList().pageCount();
    return true;
}
