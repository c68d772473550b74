#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfStream.h"

// The bytes of an encrypted stream, decrypted as they are read: RC4 byte for
// byte, AES block by block (the first block is the IV; the padding of the
// last block is dropped). Reads at most the raw stream's length.
class CPdfDecryptStream : public CPdfStream {
public:
    CPdfDecryptStream(std::shared_ptr<CPdfStream> raw, CryptMethod method, std::string key);
    ~CPdfDecryptStream() override;

    void Reset() override {}
    CPdfDictionary* GetDict() override { return raw_->GetDict(); }
    int64_t GetPos() override { return raw_->GetPos(); }
    void SetPos(int64_t, int) override {}
    int64_t GetStart() override { return raw_->GetStart(); }
    void MoveStart(int64_t) override {}
    // The raw length: the decrypted data is never longer.
    int64_t GetLength() override { return raw_->GetLength(); }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

protected:
    bool Fill() override;

private:
    size_t ReadRaw(uint8_t* target, size_t count);

    struct Cipher;
    std::shared_ptr<CPdfStream> raw_;
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
