#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfWrappedStream.h"

// The bytes of an encrypted stream, decrypted as they are read: RC4 byte for
// byte, AES block by block (the first block is the IV; the padding of the
// last block is dropped). Reads at most the raw stream's length, which is
// also its own length: the decrypted data is never longer.
class CPdfDecryptStream : public CPdfWrappedStream {
public:
    CPdfDecryptStream(std::shared_ptr<CPdfStream> raw, CryptMethod method, std::string key);
    ~CPdfDecryptStream() override;

protected:
    bool Fill() override;

private:
    size_t ReadRaw(uint8_t* target, size_t count);

    struct Cipher;
    CryptMethod method_;
    std::unique_ptr<Cipher> cipher_;
    int64_t rawLeft_;
    bool started_ = false;
    bool finished_ = false;
    // Raw bytes read but not yet decrypted (AES keeps the last block back
    // until the end is known), and the decrypted bytes handed out.
    std::string pending_;
    std::vector<uint8_t> out_;
};
