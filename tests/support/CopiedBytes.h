#pragma once

#include <cstdint>
#include <optional>
#include <string>

class CPdfXRef;

// The bytes object `number` of the input gets in the output when it is copied
// unchanged: read by ReadRawObject and written by the writer (an object
// stream's member framed as a plain object, an unclosed object closed).
// Nothing when ReadRawObject reads nothing.
std::optional<std::string> CopiedBytes(CPdfXRef& xref, int32_t number);
