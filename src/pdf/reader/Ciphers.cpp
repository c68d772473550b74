#include "pdf/reader/Ciphers.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/nettle-meta.h>

#include <cstring>

namespace {

static_assert(kAesBlockSize == AES_BLOCK_SIZE);

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// An AES key made ready for one direction, 128 or 256 bits.
class CAesKey {
public:
    CAesKey(std::string_view key, bool encrypt) : encrypt_(encrypt) {
        if (key.size() == AES128_KEY_SIZE) {
            cipher_ = &nettle_aes128;
        } else if (key.size() == AES256_KEY_SIZE) {
            cipher_ = &nettle_aes256;
        } else {
            return;
        }
        (encrypt ? cipher_->set_encrypt_key : cipher_->set_decrypt_key)(&context_, Bytes(key));
    }

    // False for a key of neither size.
    bool IsSet() const { return cipher_ != nullptr; }

    // CBC over `size` bytes, a whole number of blocks; `chain` holds the IV
    // and is left holding the last block, for the data that follows.
    void Cbc(uint8_t* chain, size_t size, uint8_t* target, const uint8_t* source) {
        if (encrypt_) {
            cbc_encrypt(&context_, cipher_->encrypt, AES_BLOCK_SIZE, chain, size, target, source);
        } else {
            cbc_decrypt(&context_, cipher_->decrypt, AES_BLOCK_SIZE, chain, size, target, source);
        }
    }

private:
    const nettle_cipher* cipher_ = nullptr;
    bool encrypt_;
    union {
        aes128_ctx aes128;
        aes256_ctx aes256;
    } context_{};
};

std::string AesCbc(bool encrypt, std::string_view key, std::string_view iv, std::string_view data) {
    CAesKey aes(key, encrypt);
    if (!aes.IsSet() || iv.size() < AES_BLOCK_SIZE) return {};
    std::string out(data.size() / AES_BLOCK_SIZE * AES_BLOCK_SIZE, '\0');
    uint8_t chain[AES_BLOCK_SIZE];
    std::memcpy(chain, iv.data(), AES_BLOCK_SIZE);
    aes.Cbc(chain, out.size(), reinterpret_cast<uint8_t*>(out.data()), Bytes(data));
    return out;
}

}  // namespace

std::string Rc4(std::string_view key, std::string_view data) {
    arcfour_ctx context;
    arcfour_set_key(&context, key.size(), Bytes(key));
    std::string out(data.size(), '\0');
    arcfour_crypt(&context, data.size(), reinterpret_cast<uint8_t*>(out.data()), Bytes(data));
    return out;
}

std::string AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data) {
    return AesCbc(true, key, iv, data);
}

std::string AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data) {
    return AesCbc(false, key, iv, data);
}

std::string EncryptData(CryptMethod method, std::string_view key, std::string_view iv, std::string_view data) {
    switch (method) {
        case CryptMethod::Identity:
            break;
        case CryptMethod::RC4:
            return Rc4(key, data);
        case CryptMethod::AES128:
        case CryptMethod::AES256: {
            std::string padded(data);
            const size_t pad = AES_BLOCK_SIZE - data.size() % AES_BLOCK_SIZE;
            padded.append(pad, static_cast<char>(pad));
            std::string out(iv);
            out += AesCbcEncrypt(key, iv, padded);
            return out;
        }
    }
    return std::string(data);
}

std::string DecryptData(CryptMethod method, std::string_view key, std::string_view data) {
    CDataDecryptor decryptor(method, key);
    std::vector<uint8_t> plain;
    decryptor.Decrypt(Bytes(data), data.size(), true, plain);
    return {plain.begin(), plain.end()};
}

struct CDataDecryptor::State {
    explicit State(std::string_view aesKey) : aes(aesKey, false) {}

    arcfour_ctx rc4{};
    CAesKey aes;
    uint8_t chain[AES_BLOCK_SIZE] = {};
    bool started = false;
    // Bytes not yet decrypted: the IV, then blocks held back.
    std::vector<uint8_t> pending;
};

CDataDecryptor::CDataDecryptor(CryptMethod method, std::string_view key) : method_(method) {
    switch (method) {
        case CryptMethod::Identity:
            usable_ = true;
            break;
        case CryptMethod::RC4:
            usable_ = key.size() >= ARCFOUR_MIN_KEY_SIZE && key.size() <= ARCFOUR_MAX_KEY_SIZE;
            state_ = std::make_unique<State>(std::string_view());
            if (usable_) arcfour_set_key(&state_->rc4, key.size(), Bytes(key));
            break;
        case CryptMethod::AES128:
        case CryptMethod::AES256:
            usable_ = key.size() == (method == CryptMethod::AES128 ? AES128_KEY_SIZE : AES256_KEY_SIZE);
            state_ = std::make_unique<State>(usable_ ? key : std::string_view());
            break;
    }
}

CDataDecryptor::~CDataDecryptor() = default;

void CDataDecryptor::Decrypt(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out) {
    out.clear();
    if (!usable_) return;
    if (method_ == CryptMethod::Identity) {
        out.assign(data, data + size);
    } else if (method_ == CryptMethod::RC4) {
        out.resize(size);
        arcfour_crypt(&state_->rc4, size, out.data(), data);
    } else {
        DecryptAes(data, size, last, out);
    }
}

void CDataDecryptor::DecryptAes(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out) {
    State& state = *state_;
    state.pending.insert(state.pending.end(), data, data + size);
    if (!state.started) {
        if (state.pending.size() < AES_BLOCK_SIZE) return;
        std::memcpy(state.chain, state.pending.data(), AES_BLOCK_SIZE);
        state.pending.erase(state.pending.begin(), state.pending.begin() + AES_BLOCK_SIZE);
        state.started = true;
    }
    size_t usable = state.pending.size() / AES_BLOCK_SIZE * AES_BLOCK_SIZE;
    // Until the end is known the last whole block may be the padded one.
    if (!last && usable > 0) usable -= AES_BLOCK_SIZE;
    out.resize(usable);
    state.aes.Cbc(state.chain, usable, out.data(), state.pending.data());
    state.pending.erase(state.pending.begin(), state.pending.begin() + static_cast<ptrdiff_t>(usable));
    if (!last || out.empty()) return;
    const uint8_t pad = out.back();
    if (pad >= 1 && pad <= AES_BLOCK_SIZE && pad <= out.size()) out.resize(out.size() - pad);
}
