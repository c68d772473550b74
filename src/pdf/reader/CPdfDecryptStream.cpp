#include "pdf/reader/CPdfDecryptStream.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

struct CPdfDecryptStream::Cipher {
    arcfour_ctx rc4{};
    aes128_ctx aes128{};
    aes256_ctx aes256{};
    std::string key;
    uint8_t iv[AES_BLOCK_SIZE] = {};
};

CPdfDecryptStream::CPdfDecryptStream(std::shared_ptr<CPdfStream> raw, CryptMethod method, std::string key)
    : CPdfWrappedStream(std::move(raw)), method_(method), cipher_(std::make_unique<Cipher>()) {
    rawLeft_ = std::max<int64_t>(raw_->GetLength(), 0);
    cipher_->key = std::move(key);
    const auto* k = reinterpret_cast<const uint8_t*>(cipher_->key.data());
    const size_t size = cipher_->key.size();
    if (method_ == CryptMethod::RC4 && size >= ARCFOUR_MIN_KEY_SIZE && size <= ARCFOUR_MAX_KEY_SIZE) {
        arcfour_set_key(&cipher_->rc4, size, k);
    } else if (method_ == CryptMethod::AES128 && size == AES128_KEY_SIZE) {
        aes128_set_decrypt_key(&cipher_->aes128, k);
    } else if (method_ == CryptMethod::AES256 && size == AES256_KEY_SIZE) {
        aes256_set_decrypt_key(&cipher_->aes256, k);
    } else {
        finished_ = true;  // a key that does not fit: no data
    }
}

CPdfDecryptStream::~CPdfDecryptStream() = default;

size_t CPdfDecryptStream::ReadRaw(uint8_t* target, size_t count) {
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), rawLeft_));
    if (count == 0) return 0;
    const size_t got = raw_->Read(target, count);
    rawLeft_ -= static_cast<int64_t>(got);
    if (got == 0) rawLeft_ = 0;
    return got;
}

bool CPdfDecryptStream::Fill() {
    while (!finished_) {
        uint8_t chunk[kChunk];
        if (method_ == CryptMethod::RC4) {
            const size_t got = ReadRaw(chunk, sizeof chunk);
            if (got == 0) break;
            out_.resize(got);
            arcfour_crypt(&cipher_->rc4, got, out_.data(), chunk);
            read_ = out_.data();
            end_ = read_ + got;
            return true;
        }
        if (!started_) {
            started_ = true;
            if (ReadRaw(cipher_->iv, AES_BLOCK_SIZE) != AES_BLOCK_SIZE) break;
        }
        const size_t got = ReadRaw(chunk, sizeof chunk);
        pending_.append(reinterpret_cast<const char*>(chunk), got);
        const bool atEnd = got == 0;
        size_t usable = pending_.size() / AES_BLOCK_SIZE * AES_BLOCK_SIZE;
        // Until the end is known the last whole block may be the padded one.
        if (!atEnd && usable == pending_.size() && usable > 0) usable -= AES_BLOCK_SIZE;
        out_.resize(usable);
        const auto* source = reinterpret_cast<const uint8_t*>(pending_.data());
        if (method_ == CryptMethod::AES128) {
            cbc_decrypt(&cipher_->aes128, reinterpret_cast<nettle_cipher_func*>(aes128_decrypt), AES_BLOCK_SIZE,
                        cipher_->iv, usable, out_.data(), source);
        } else {
            cbc_decrypt(&cipher_->aes256, reinterpret_cast<nettle_cipher_func*>(aes256_decrypt), AES_BLOCK_SIZE,
                        cipher_->iv, usable, out_.data(), source);
        }
        pending_.erase(0, usable);
        if (atEnd) {
            finished_ = true;
            if (!out_.empty()) {
                const uint8_t pad = out_.back();
                if (pad >= 1 && pad <= AES_BLOCK_SIZE && pad <= out_.size()) out_.resize(out_.size() - pad);
            }
        }
        if (!out_.empty()) {
            read_ = out_.data();
            end_ = read_ + out_.size();
            return true;
        }
    }
    finished_ = true;
    return false;
}
