#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/reader/CryptMethod.h"

// The ciphers of encrypted documents, through Nettle: RC4, and AES-CBC with
// 128- and 256-bit keys, on whole data or on data that arrives piece by piece.

inline constexpr size_t kAesBlockSize = 16;

// RC4 of `data` under `key` (1 to 256 bytes).
std::string Rc4(std::string_view key, std::string_view data);

// AES-CBC over the whole blocks of `data`, without padding (a partial last
// block is left out); `key` has 16 or 32 bytes (nothing otherwise), `iv` 16.
std::string AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data);
std::string AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data);

// Data encrypted as a document holds it: RC4, or AES-CBC of the data padded
// with 1 to 16 bytes that each hold their count, `iv` (16 bytes) ahead of it;
// Identity leaves the data as it is.
std::string EncryptData(CryptMethod method, std::string_view key, std::string_view iv, std::string_view data);
// The reverse, as CDataDecryptor gives it for the whole data at once.
std::string DecryptData(CryptMethod method, std::string_view key, std::string_view data);

// Decrypts data handed over piece by piece: RC4 byte for byte; AES-CBC with
// the first 16 bytes as the IV, block by block. AES keeps the last whole block
// back until the end is known; at the end it drops its padding (a last byte
// of 1 to 16 counts that many bytes) and any partial block after it. A key of
// the wrong size for its method decrypts to nothing.
class CDataDecryptor {
public:
    CDataDecryptor(CryptMethod method, std::string_view key);
    ~CDataDecryptor();
    CDataDecryptor(const CDataDecryptor&) = delete;
    CDataDecryptor& operator=(const CDataDecryptor&) = delete;

    // Whether the key fits the method: otherwise nothing is decrypted.
    bool usable() const { return usable_; }

    // Decrypts the next `size` bytes into `out` (which it replaces); `last`:
    // no data follows.
    void Decrypt(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out);

private:
    void DecryptAes(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out);

    struct State;
    CryptMethod method_;
    bool usable_ = false;
    std::unique_ptr<State> state_;
};
