#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdf/reader/CPdfWrappedStream.h"
#include "pdf/reader/Ciphers.h"

// The bytes of an encrypted stream, decrypted as they are read (see
// CDataDecryptor). Reads at most the raw stream's length, which is also its
// own length: the decrypted data is never longer.
class CPdfDecryptStream : public CPdfWrappedStream {
public:
    CPdfDecryptStream(std::shared_ptr<CPdfStream> raw, CryptMethod method, std::string key);
    ~CPdfDecryptStream() override;

protected:
    bool Fill() override;

private:
    size_t ReadRaw(uint8_t* target, size_t count);

    CDataDecryptor decryptor_;
    int64_t rawLeft_;
    bool finished_ = false;
    // The decrypted bytes handed out.
    std::vector<uint8_t> out_;
};
