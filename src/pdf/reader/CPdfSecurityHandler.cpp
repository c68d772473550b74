#include "pdf/reader/CPdfSecurityHandler.h"

#include <nettle/md5.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfDecryptStream.h"
#include "pdf/reader/Ciphers.h"

namespace {

constexpr const char* kUnsupported = "Encrypted PDF files are not supported";

// Pads or cuts a password to 32 bytes with the standard padding.
std::string Padded(std::string_view password) {
    static constexpr uint8_t kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                             0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                             0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
    std::string padded(password.substr(0, 32));
    padded.append(reinterpret_cast<const char*>(kPadding), 32 - padded.size());
    return padded;
}

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string Md5(std::string_view data) {
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, data.size(), Bytes(data));
    std::string digest(MD5_DIGEST_SIZE, '\0');
    md5_digest(&context, digest.size(), reinterpret_cast<uint8_t*>(digest.data()));
    return digest;
}

// RC4 with the key's bytes XORed with `round`, for rounds `first` to `last`.
std::string Rc4Rounds(std::string_view key, std::string data, int first, int last) {
    const int step = first <= last ? 1 : -1;
    for (int round = first;; round += step) {
        std::string roundKey(key);
        for (char& c : roundKey) c = static_cast<char>(c ^ round);
        data = Rc4(roundKey, data);
        if (round == last) break;
    }
    return data;
}

std::string Sha2(int bits, std::string_view data) {
    std::string digest(static_cast<size_t>(bits / 8), '\0');
    auto* out = reinterpret_cast<uint8_t*>(digest.data());
    if (bits == 256) {
        sha256_ctx context;
        sha256_init(&context);
        sha256_update(&context, data.size(), Bytes(data));
        sha256_digest(&context, digest.size(), out);
    } else if (bits == 384) {
        sha384_ctx context;
        sha384_init(&context);
        sha384_update(&context, data.size(), Bytes(data));
        sha384_digest(&context, digest.size(), out);
    } else {
        sha512_ctx context;
        sha512_init(&context);
        sha512_update(&context, data.size(), Bytes(data));
        sha512_digest(&context, digest.size(), out);
    }
    return digest;
}

CryptMethod MethodOf(const CPdfDictionary& encrypt, const CPdfObject& filterName) {
    if (filterName.is(pdfNull)) return CryptMethod::Identity;
    if (!filterName.is(pdfName)) throw CPdfException(kUnsupported);
    if (filterName.getName() == "Identity") return CryptMethod::Identity;
    const CPdfObject filters = encrypt.lookup("CF");
    if (!filters.is(pdfDictionary)) throw CPdfException(kUnsupported);
    const CPdfObject filter = filters.getDict().lookup(filterName.getName());
    if (!filter.is(pdfDictionary)) throw CPdfException(kUnsupported);
    const CPdfObject method = filter.getDict().lookup("CFM");
    if (method.is(pdfNull) || method.isName("None")) return CryptMethod::Identity;
    if (method.isName("V2")) return CryptMethod::RC4;
    if (method.isName("AESV2")) return CryptMethod::AES128;
    if (method.isName("AESV3")) return CryptMethod::AES256;
    throw CPdfException(kUnsupported);
}

std::string StringEntry(const CPdfDictionary& encrypt, std::string_view key) {
    const CPdfObject value = encrypt.lookup(key);
    return value.is(pdfString) ? value.getString().bytes() : std::string();
}

// UTF-8 text whose characters all lie below U+0100, as Latin-1 bytes; nothing
// for ASCII (already tried as it is) or for anything else.
std::optional<std::string> Latin1(std::string_view text) {
    std::string out;
    bool changed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<uint8_t>(text[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<uint8_t>(text[++i]) & 0x3F)));
            changed = true;
        } else {
            return std::nullopt;
        }
    }
    if (!changed) return std::nullopt;
    return out;
}

}  // namespace

CPdfSecurityHandler::CPdfSecurityHandler(const CPdfDictionary& encrypt, std::string firstId)
    : firstId_(std::move(firstId)) {
    if (!encrypt.lookup("Filter").isName("Standard")) throw CPdfException(kUnsupported);
    const CPdfObject v = encrypt.lookup("V");
    const CPdfObject r = encrypt.lookup("R");
    const CPdfObject p = encrypt.lookup("P");
    if (!r.is(pdfInteger) || !p.is(pdfInteger)) throw CPdfException(kUnsupported);
    version_ = v.is(pdfInteger) ? v.getInt() : 0;
    revision_ = r.getInt();
    permissions_ = static_cast<int32_t>(static_cast<uint32_t>(p.getInt64()));
    const CPdfObject metadata = encrypt.lookup("EncryptMetadata");
    encryptMetadata_ = !metadata.is(pdfBoolean) || metadata.getBool();
    ownerEntry_ = StringEntry(encrypt, "O");
    userEntry_ = StringEntry(encrypt, "U");
    const CPdfObject length = encrypt.lookup("Length");
    const int64_t bits = length.is(pdfInteger) ? length.getInt64() : 0;
    if (version_ == 1 || version_ == 2) {
        if (revision_ < 2 || revision_ > 4) throw CPdfException(kUnsupported);
        keyLength_ = version_ == 1 || revision_ == 2
                         ? 5
                         : static_cast<size_t>(std::clamp<int64_t>(bits ? bits : 40, 40, 128) / 8);
        stringMethod_ = streamMethod_ = CryptMethod::RC4;
    } else if (version_ == 4) {
        if (revision_ != 4) throw CPdfException(kUnsupported);
        stringMethod_ = MethodOf(encrypt, encrypt.lookup("StrF"));
        streamMethod_ = MethodOf(encrypt, encrypt.lookup("StmF"));
        keyLength_ = static_cast<size_t>(std::clamp<int64_t>(bits ? bits : 128, 40, 128) / 8);
        if (stringMethod_ == CryptMethod::AES128 || streamMethod_ == CryptMethod::AES128) keyLength_ = 16;
        if (stringMethod_ == CryptMethod::AES256 || streamMethod_ == CryptMethod::AES256)
            throw CPdfException(kUnsupported);
    } else if (version_ == 5) {
        if (revision_ != 5 && revision_ != 6) throw CPdfException(kUnsupported);
        stringMethod_ = MethodOf(encrypt, encrypt.lookup("StrF"));
        streamMethod_ = MethodOf(encrypt, encrypt.lookup("StmF"));
        if ((stringMethod_ != CryptMethod::AES256 && stringMethod_ != CryptMethod::Identity) ||
            (streamMethod_ != CryptMethod::AES256 && streamMethod_ != CryptMethod::Identity))
            throw CPdfException(kUnsupported);
        keyLength_ = 32;
        ownerKey_ = StringEntry(encrypt, "OE");
        userKey_ = StringEntry(encrypt, "UE");
        if (ownerEntry_.size() < 48 || userEntry_.size() < 48 || ownerKey_.size() < 32 || userKey_.size() < 32)
            throw CPdfException(kUnsupported);
    } else {
        throw CPdfException(kUnsupported);
    }
    if (revision_ <= 4 && (ownerEntry_.size() < 32 || userEntry_.size() < 32)) throw CPdfException(kUnsupported);
}

CPdfSecurityHandler::~CPdfSecurityHandler() = default;

bool CPdfSecurityHandler::Authenticate(std::string_view password) {
    if (revision_ >= 5) password = password.substr(0, 127);
    owner_ = CheckOwner(password);
    if (owner_ || CheckUser(password)) return true;
    // Revisions 2 to 4 take the password's bytes in the document's 8-bit
    // encoding: a command line in UTF-8 is tried as Latin-1 too.
    const std::optional<std::string> latin1 = revision_ <= 4 ? Latin1(password) : std::nullopt;
    if (!latin1) return false;
    owner_ = CheckOwner(*latin1);
    return owner_ || CheckUser(*latin1);
}

// The file key from a user password (revisions 2 to 4).
std::string CPdfSecurityHandler::UserKey(std::string_view password) const {
    std::string input = Padded(password);
    input.append(ownerEntry_, 0, 32);
    const auto p = static_cast<uint32_t>(permissions_);
    for (int shift = 0; shift < 32; shift += 8) input.push_back(static_cast<char>((p >> shift) & 0xFF));
    input += firstId_;
    if (revision_ >= 4 && !encryptMetadata_) input.append(4, '\xFF');
    std::string key = Md5(input);
    if (revision_ >= 3) {
        for (int i = 0; i < 50; ++i) key = Md5(std::string_view(key).substr(0, keyLength_));
    }
    key.resize(keyLength_);
    return key;
}

// The revision 6 hash (revision 5: one SHA-256).
std::string CPdfSecurityHandler::Hash6(std::string_view password, std::string_view salt,
                                       std::string_view userData) const {
    std::string input(password);
    input += salt;
    input += userData;
    std::string k = Sha2(256, input);
    if (revision_ == 5) return k;
    std::string block;
    std::string e;
    for (int round = 0; round < 64 || static_cast<uint8_t>(e.back()) > round - 32; ++round) {
        block.assign(password);
        block += k;
        block += userData;
        std::string repeated;
        repeated.reserve(block.size() * 64);
        for (int i = 0; i < 64; ++i) repeated += block;
        e = AesCbcEncrypt(std::string_view(k).substr(0, 16), std::string_view(k).substr(16, 16), repeated);
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i) sum += static_cast<uint8_t>(e[static_cast<size_t>(i)]);
        const unsigned choice = sum % 3;
        k = Sha2(choice == 0 ? 256 : choice == 1 ? 384 : 512, e);
    }
    return k.substr(0, 32);
}

bool CPdfSecurityHandler::CheckUser(std::string_view password) {
    if (revision_ >= 5) {
        const std::string_view u(userEntry_);
        if (Hash6(password, u.substr(32, 8), {}) != u.substr(0, 32)) return false;
        fileKey_ = AesCbcDecrypt(Hash6(password, u.substr(40, 8), {}), std::string(16, '\0'), userKey_.substr(0, 32));
        return true;
    }
    const std::string key = UserKey(password);
    if (revision_ == 2) {
        if (Rc4(key, Padded("")) != std::string_view(userEntry_).substr(0, 32)) return false;
    } else {
        std::string check = Md5(Padded("") + firstId_);
        check = Rc4Rounds(key, check, 0, 19);
        if (check != std::string_view(userEntry_).substr(0, 16)) return false;
    }
    fileKey_ = key;
    return true;
}

bool CPdfSecurityHandler::CheckOwner(std::string_view password) {
    if (revision_ >= 5) {
        const std::string_view o(ownerEntry_);
        const std::string_view u = std::string_view(userEntry_).substr(0, 48);
        if (Hash6(password, o.substr(32, 8), u) != o.substr(0, 32)) return false;
        fileKey_ = AesCbcDecrypt(Hash6(password, o.substr(40, 8), u), std::string(16, '\0'), ownerKey_.substr(0, 32));
        return true;
    }
    std::string key = Md5(Padded(password));
    if (revision_ >= 3) {
        for (int i = 0; i < 50; ++i) key = Md5(key);
    }
    key.resize(keyLength_);
    const std::string ownerEntry = ownerEntry_.substr(0, 32);
    const std::string user = revision_ == 2 ? Rc4(key, ownerEntry) : Rc4Rounds(key, ownerEntry, 19, 0);
    return CheckUser(user);
}

std::string CPdfSecurityHandler::ObjectKey(CryptMethod method, int32_t number, int32_t generation) const {
    if (method == CryptMethod::AES256) return fileKey_;
    std::string input = fileKey_;
    for (int shift = 0; shift < 24; shift += 8) input.push_back(static_cast<char>((number >> shift) & 0xFF));
    for (int shift = 0; shift < 16; shift += 8) input.push_back(static_cast<char>((generation >> shift) & 0xFF));
    if (method == CryptMethod::AES128) input += "sAlT";
    std::string key = Md5(input);
    key.resize(std::min<size_t>(fileKey_.size() + 5, 16));
    return key;
}

std::string CPdfSecurityHandler::DecryptString(int32_t number, int32_t generation, std::string_view data) const {
    return DecryptData(stringMethod_, ObjectKey(stringMethod_, number, generation), data);
}

std::shared_ptr<CPdfStream> CPdfSecurityHandler::DecryptStream(int32_t number, int32_t generation,
                                                               std::shared_ptr<CPdfStream> raw) const {
    if (streamMethod_ == CryptMethod::Identity) return raw;
    return std::make_shared<CPdfDecryptStream>(std::move(raw), streamMethod_,
                                               ObjectKey(streamMethod_, number, generation));
}
