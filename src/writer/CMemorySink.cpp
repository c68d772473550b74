#include "writer/CMemorySink.h"

#include "base/CByteSource.h"
#include "base/CPdfException.h"

void CMemorySink::CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) {
    const size_t start = bytes_.size();
    bytes_.resize(start + static_cast<size_t>(length));
    for (size_t done = 0; done < length;) {
        const size_t got = source.Read(offset + done, reinterpret_cast<uint8_t*>(bytes_.data() + start + done),
                                       static_cast<size_t>(length) - done);
        if (got == 0) {  // the source is shorter
            bytes_.resize(start + done);
            throw CPdfException("Output file write error");
        }
        done += got;
    }
}

void CMemorySink::CopyWhole(CByteSource& source) {
    if (!bytes_.empty()) throw CPdfException("Output file write error");
    CopyFrom(source, 0, source.Size());
}
