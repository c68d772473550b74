#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/reader/CryptMethod.h"

class CPdfDictionary;
class CPdfStream;

// The standard security handler of an encrypted document: revisions 2 to 4
// (RC4 of 40 to 128 bits, AES-128 through crypt filters) and 5 and 6
// (AES-256). It checks a password, derives the file key and each object's
// key, and decrypts what the reader needs; the writer encrypts with the same
// keys.
class CPdfSecurityHandler {
public:
    // Reads the /Encrypt dictionary; `firstId` is the first string of the
    // trailer's /ID (empty when there is none). Throws CPdfException("Encrypted
    // PDF files are not supported") for any other handler or an unknown method.
    CPdfSecurityHandler(const CPdfDictionary& encrypt, std::string firstId);
    ~CPdfSecurityHandler();

    // Tries the password as the owner password, then as the user password;
    // false when it is neither.
    bool Authenticate(std::string_view password);
    bool isOwner() const { return owner_; }
    // The file key the password gave.
    const std::string& fileKey() const { return fileKey_; }
    int32_t permissions() const { return permissions_; }
    // Bit 4 of /P: the contents may be modified.
    bool MayModify() const { return (permissions_ & 8) != 0; }
    int revision() const { return revision_; }
    bool encryptsMetadata() const { return encryptMetadata_; }
    CryptMethod stringMethod() const { return stringMethod_; }
    CryptMethod streamMethod() const { return streamMethod_; }

    std::string DecryptString(int32_t number, int32_t generation, std::string_view data) const;
    // The stream's raw bytes read decrypted; `raw` itself when streams are not encrypted.
    std::shared_ptr<CPdfStream> DecryptStream(int32_t number, int32_t generation,
                                              std::shared_ptr<CPdfStream> raw) const;
    // The key of object `number` for data encrypted with `method`.
    std::string ObjectKey(CryptMethod method, int32_t number, int32_t generation) const;

private:
    bool CheckUser(std::string_view password);
    bool CheckOwner(std::string_view password);
    std::string UserKey(std::string_view password) const;
    std::string Hash6(std::string_view password, std::string_view salt, std::string_view userData) const;

    int version_ = 0;
    int revision_ = 0;
    size_t keyLength_ = 5;
    int32_t permissions_ = 0;
    bool encryptMetadata_ = true;
    CryptMethod stringMethod_ = CryptMethod::Identity;
    CryptMethod streamMethod_ = CryptMethod::Identity;
    // /O, /U, /OE, /UE.
    std::string ownerEntry_;
    std::string userEntry_;
    std::string ownerKey_;
    std::string userKey_;
    std::string firstId_;
    std::string fileKey_;
    bool owner_ = false;
};
