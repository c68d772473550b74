#pragma once

#include <memory>

#include "pdf/reader/CPdfWrappedStream.h"

// A stream whose filters the reader does not decode (a filter other than
// FlateDecode, or a chain of filters). It is still a stream: it has its
// dictionary and its place in the file, so a page whose content stream is
// encoded that way can still be given more content. Its data reads as empty.
class CPdfUndecodedStream : public CPdfWrappedStream {
public:
    using CPdfWrappedStream::CPdfWrappedStream;

    bool IsDecodable() const override { return false; }

protected:
    bool Fill() override { return false; }
};
