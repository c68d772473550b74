#include "support/CopiedBytes.h"

#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "writer/CMemorySink.h"
#include "writer/COutputWriter.h"

std::optional<std::string> CopiedBytes(CPdfXRef& xref, int32_t number) {
    const std::optional<RawObject> object = ReadRawObject(xref, number);
    if (!object) return std::nullopt;
    CMemorySink sink;
    COutputWriter writer(sink, static_cast<size_t>(number) + 1);
    writer.WriteObject(number, xref.GenerationOf(number), *object);
    return sink.bytes();
}
