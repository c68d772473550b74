#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Encrypts the objects written into an encrypted output: given the plain text
// of an object (or of its value alone), the same text with its strings and
// its stream data encrypted under that object's number and generation. The
// writer is given one when the document it writes is encrypted
// (COutputCipher, with the input's keys).
class CPdfObjectCipher {
public:
    virtual ~CPdfObjectCipher() = default;
    virtual std::string EncryptObject(int32_t number, int32_t generation, std::string_view plainObject) = 0;
};
