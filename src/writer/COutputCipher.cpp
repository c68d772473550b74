#include "writer/COutputCipher.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "base/CPdfException.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/Ciphers.h"
#include "writer/EncryptedObjectText.h"

namespace {

// Random bytes are fetched from the system this many at a time.
constexpr size_t kRandomAhead = 4096;

}  // namespace

void COutputCipher::RandomBytes(uint8_t* target, size_t count) {
    while (count > 0) {
        if (random_.empty()) {
            random_.resize(kRandomAhead);
            size_t filled = 0;
            while (filled < random_.size()) {
                const ssize_t got = getrandom(random_.data() + filled, random_.size() - filled, 0);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) throw CPdfException("Can't get random bytes");
                filled += static_cast<size_t>(got);
            }
        }
        const size_t n = std::min(count, random_.size());
        std::memcpy(target, random_.data() + random_.size() - n, n);
        random_.resize(random_.size() - n);
        target += n;
        count -= n;
    }
}

std::string COutputCipher::Encrypt(CryptMethod method, std::string_view key, std::string_view data) {
    std::string iv;
    if (method == CryptMethod::AES128 || method == CryptMethod::AES256) {
        iv.resize(kAesBlockSize);
        RandomBytes(reinterpret_cast<uint8_t*>(iv.data()), iv.size());
    }
    return EncryptData(method, key, iv, data);
}

std::string COutputCipher::EncryptObject(int32_t number, int32_t generation, std::string_view plainObject) {
    std::function<std::string(std::string_view)> strings;
    std::function<std::string(std::string_view)> streams;
    const CryptMethod stringMethod = handler_.stringMethod();
    const CryptMethod streamMethod = handler_.streamMethod();
    if (stringMethod != CryptMethod::Identity) {
        const std::string key = handler_.ObjectKey(stringMethod, number, generation);
        strings = [this, key, stringMethod](std::string_view data) { return Encrypt(stringMethod, key, data); };
    }
    if (streamMethod != CryptMethod::Identity) {
        const std::string key = handler_.ObjectKey(streamMethod, number, generation);
        streams = [this, key, streamMethod](std::string_view data) { return Encrypt(streamMethod, key, data); };
    }
    if (!strings && !streams) return std::string(plainObject);
    return EncryptObjectText(plainObject, strings, streams);
}
