#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/reader/CryptMethod.h"
#include "writer/CPdfObjectCipher.h"

class CPdfSecurityHandler;

// Encrypts what the writer adds to an encrypted output, with the input's
// keys: strings with the handler's string method, stream data with its
// stream method, AES under a fresh random IV each.
class COutputCipher : public CPdfObjectCipher {
public:
    explicit COutputCipher(const CPdfSecurityHandler& handler) : handler_(handler) {}

    std::string EncryptObject(int32_t number, int32_t generation, std::string_view plainObject) override;

private:
    // `data` encrypted with `method` under `key`.
    std::string Encrypt(CryptMethod method, std::string_view key, std::string_view data);
    void RandomBytes(uint8_t* target, size_t count);

    const CPdfSecurityHandler& handler_;
    // Random bytes fetched ahead, used from the back.
    std::vector<uint8_t> random_;
};
