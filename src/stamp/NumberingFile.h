#pragma once

#include <cstdint>
#include <string>

// The files that carry page numbering from one run to the next: a decimal
// number at the start of the file.

// The number at the start of the file (at most its first 10 bytes, read as
// atol reads them: leading white space, a sign, digits). Throws "Output file
// create error" when the file cannot be opened.
int32_t ReadNumberingFile(const std::string& path);
