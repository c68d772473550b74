// Decryption piece by piece gives what decryption of the whole data gives,
// wherever the pieces split it, padding and damaged lengths included.
#include "pdf/reader/Ciphers.h"

#include <gtest/gtest.h>

namespace {

TEST(CDataDecryptorTest, PiecesDecryptAsTheWhole) {
    const std::string key(16, 'k');
    const std::string iv(16, 'i');
    for (const CryptMethod method : {CryptMethod::RC4, CryptMethod::AES128}) {
        for (const std::string plain : {"", "sixteen bytes ok", "a little more than one block"}) {
            // As written, then with a partial block after it (dropped, as is the padding).
            const std::string encrypted = EncryptData(method, key, iv, plain);
            for (const std::string& data : {encrypted, encrypted + "xyz"}) {
                const std::string whole = DecryptData(method, key, data);
                EXPECT_EQ(whole, method == CryptMethod::RC4 ? Rc4(key, data) : plain);
                for (size_t split = 0; split <= data.size(); ++split) {
                    CDataDecryptor decryptor(method, key);
                    std::vector<uint8_t> first;
                    std::vector<uint8_t> second;
                    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
                    decryptor.Decrypt(bytes, split, false, first);
                    decryptor.Decrypt(bytes + split, data.size() - split, true, second);
                    first.insert(first.end(), second.begin(), second.end());
                    EXPECT_EQ(std::string(first.begin(), first.end()), whole) << "split at " << split;
                }
            }
        }
    }
    EXPECT_EQ(DecryptData(CryptMethod::AES256, key, std::string(64, 'x')), "");  // a key of the wrong size
}

}  // namespace
