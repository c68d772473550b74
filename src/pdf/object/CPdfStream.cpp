#include "pdf/object/CPdfStream.h"

#include <algorithm>
#include <cstring>

#include "base/CPdfException.h"

size_t CPdfStream::Read(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (read_ == end_ && !Fill()) break;
        const size_t n = std::min(static_cast<size_t>(end_ - read_), count - done);
        std::memcpy(buffer + done, read_, n);
        read_ += n;
        done += n;
    }
    return done;
}

int CPdfStream::GetRawChar() { throw CPdfException("Internal: called GetRawChar() on non-predictor stream"); }
