#pragma once

// How one kind of data of an encrypted document (its strings, or its streams)
// is encrypted.
enum class CryptMethod { Identity, RC4, AES128, AES256 };
