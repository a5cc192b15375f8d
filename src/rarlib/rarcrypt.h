// Keys and AES decryption of encrypted RAR archives.
//
// The 5.0 format derives a 256-bit key with PBKDF2-HMAC-SHA256 from the password
// (UTF-8), a 16-byte salt and 2^n rounds; 16 and 32 rounds further give the key
// that converts stored checksums and the password check value. The 2.9-4.x
// format derives a 128-bit key and the IV from the password (UTF-16LE) and an
// 8-byte salt with 2^18 rounds of SHA-1. Both encrypt with AES in CBC mode, the
// data padded to whole 16-byte blocks.
//
// Deriving a key is slow on purpose (tens of milliseconds), so the keys of a
// password and salt are kept once made.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

namespace rarlib {

constexpr std::size_t kAesBlock = 16;

// n rounded up to whole AES blocks.
constexpr std::uint64_t roundToAes(std::uint64_t n) { return (n + kAesBlock - 1) / kAesBlock * kAesBlock; }

// The keys of one password and salt.
struct RarKeys {
  std::string key;                         // 16 bytes (2.9-4.x) or 32 bytes (5.0)
  std::array<std::uint8_t, 16> iv{};       // 2.9-4.x: derived with the key
  std::array<std::uint8_t, 32> hashKey{};  // 5.0: converts stored checksums
  std::array<std::uint8_t, 8> check{};     // 5.0: the password check value
};

class KeyCache {
 public:
  // The keys of the 5.0 format (kdfCount: log2 of the rounds, at most 24); null
  // when they cannot be made.
  const RarKeys* rar5(const std::string& password, const std::uint8_t* salt16, int kdfCount);
  // The key and IV of the 2.9-4.x format.
  const RarKeys* rar4(const std::string& password, const std::uint8_t* salt8);

 private:
  std::map<std::tuple<std::string, std::string, int>, RarKeys> keys_;
};

// Whether a 5.0 check record (8 bytes of check value, 4 bytes of its SHA-256)
// is intact, and whether the keys' check value matches it.
bool rar5CheckIntact(const std::uint8_t* record12);
bool rar5CheckMatches(const RarKeys& keys, const std::uint8_t* record12);

// A 5.0 CRC-32 as an archive with keyed checksums stores it.
std::uint32_t rar5KeyedCrc(std::uint32_t crc, const RarKeys& keys);

// Streaming AES-CBC decryption without padding: whole blocks in, the same
// number of bytes out.
class CbcDecryptor {
 public:
  CbcDecryptor() = default;
  ~CbcDecryptor();
  CbcDecryptor(const CbcDecryptor&) = delete;
  CbcDecryptor& operator=(const CbcDecryptor&) = delete;

  // key: 16 or 32 bytes; iv: 16 bytes.
  bool start(const std::string& key, const std::uint8_t* iv);
  // Decrypts size bytes (a multiple of 16) from in to out (which may be in).
  bool update(const std::uint8_t* in, std::size_t size, std::uint8_t* out);

 private:
  EVP_CIPHER_CTX* ctx_ = nullptr;
};

// Decrypts a whole buffer (a multiple of 16 bytes) in place.
bool decryptBuffer(const std::string& key, const std::uint8_t* iv, std::uint8_t* data, std::size_t size);

}  // namespace rarlib
