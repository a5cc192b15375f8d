#include "rarlib/rarcrypt.h"

#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace rarlib {

namespace {

constexpr int kRar4Rounds = 0x40000;
constexpr int kMaxKdfCount = 24;

// The password as UTF-16LE, from UTF-8 (a malformed byte stands for itself).
std::string utf16le(const std::string& utf8) {
  std::string out;
  auto unit = [&](std::uint32_t u) {
    out.push_back(static_cast<char>(u & 0xff));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<std::uint8_t>(utf8[i]);
    int extra = c >= 0xf0 && c < 0xf8 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
    if (c >= 0xf8 || i + static_cast<std::size_t>(extra) >= utf8.size()) extra = 0;
    std::uint32_t cp = extra == 0 ? c : c & (0x3f >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cc = static_cast<std::uint8_t>(utf8[i + static_cast<std::size_t>(k)]);
      if ((cc & 0xc0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3f);
    }
    if (!ok) {
      extra = 0;
      cp = c;
    }
    i += 1 + static_cast<std::size_t>(extra);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xd800 + (cp >> 10));
      unit(0xdc00 + (cp & 0x3ff));
    } else {
      unit(cp);
    }
  }
  return out;
}

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

bool pbkdf2(const std::string& password, const std::uint8_t* salt, int rounds, std::uint8_t* out32) {
  return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt, 16, rounds, EVP_sha256(), 32,
                           out32) == 1;
}

}  // namespace

const RarKeys* KeyCache::rar5(const std::string& password, const std::uint8_t* salt16, int kdfCount) {
  if (kdfCount < 0 || kdfCount > kMaxKdfCount) return nullptr;
  auto id = std::make_tuple(password, std::string(reinterpret_cast<const char*>(salt16), 16), kdfCount);
  if (auto it = keys_.find(id); it != keys_.end()) return &it->second;
  RarKeys k;
  std::uint8_t key[32], check[32];
  const int rounds = 1 << kdfCount;
  if (!pbkdf2(password, salt16, rounds, key) || !pbkdf2(password, salt16, rounds + 16, k.hashKey.data()) ||
      !pbkdf2(password, salt16, rounds + 32, check))
    return nullptr;
  k.key.assign(reinterpret_cast<const char*>(key), 32);
  for (std::size_t i = 0; i < sizeof check; ++i) k.check[i % 8] ^= check[i];
  return &keys_.emplace(std::move(id), std::move(k)).first->second;
}

const RarKeys* KeyCache::rar4(const std::string& password, const std::uint8_t* salt8) {
  auto id = std::make_tuple(password, std::string(reinterpret_cast<const char*>(salt8), 8), -1);
  if (auto it = keys_.find(id); it != keys_.end()) return &it->second;
  // SHA-1 over the password and salt followed by a 3-byte round number, 2^18
  // times; the IV takes the last digest byte at each sixteenth of the rounds,
  // the key the first 16 bytes of the final digest, each 32-bit word reversed.
  std::string seed = utf16le(password);
  seed.append(reinterpret_cast<const char*>(salt8), 8);
  const std::size_t n = seed.size();
  seed.append(3, '\0');
  MdCtx ctx(EVP_MD_CTX_new()), snap(EVP_MD_CTX_new());
  if (!ctx || !snap || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) return nullptr;
  RarKeys k;
  std::uint8_t digest[SHA_DIGEST_LENGTH];
  for (int i = 0; i < kRar4Rounds; ++i) {
    seed[n] = static_cast<char>(i);
    seed[n + 1] = static_cast<char>(i >> 8);
    seed[n + 2] = static_cast<char>(i >> 16);
    if (EVP_DigestUpdate(ctx.get(), seed.data(), seed.size()) != 1) return nullptr;
    if (i % (kRar4Rounds / 16) == 0) {
      if (EVP_MD_CTX_copy_ex(snap.get(), ctx.get()) != 1 || EVP_DigestFinal_ex(snap.get(), digest, nullptr) != 1)
        return nullptr;
      k.iv[static_cast<std::size_t>(i / (kRar4Rounds / 16))] = digest[19];
    }
  }
  if (EVP_DigestFinal_ex(ctx.get(), digest, nullptr) != 1) return nullptr;
  k.key.resize(16);
  for (std::size_t w = 0; w < 4; ++w)
    for (std::size_t b = 0; b < 4; ++b) k.key[w * 4 + b] = static_cast<char>(digest[w * 4 + 3 - b]);
  return &keys_.emplace(std::move(id), std::move(k)).first->second;
}

bool rar5CheckIntact(const std::uint8_t* record12) {
  std::uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(record12, 8, digest);
  return std::memcmp(digest, record12 + 8, 4) == 0;
}

bool rar5CheckMatches(const RarKeys& keys, const std::uint8_t* record12) {
  return std::memcmp(keys.check.data(), record12, 8) == 0;
}

std::uint32_t rar5KeyedCrc(std::uint32_t crc, const RarKeys& keys) {
  const std::uint8_t raw[4] = {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
                               static_cast<std::uint8_t>(crc >> 16), static_cast<std::uint8_t>(crc >> 24)};
  std::uint8_t mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!HMAC(EVP_sha256(), keys.hashKey.data(), static_cast<int>(keys.hashKey.size()), raw, sizeof raw, mac, &len))
    return ~crc;  // never equal to a value computed right
  std::uint32_t out = 0;
  for (unsigned int i = 0; i < len; ++i) out ^= static_cast<std::uint32_t>(mac[i]) << ((i & 3) * 8);
  return out;
}

CbcDecryptor::~CbcDecryptor() { EVP_CIPHER_CTX_free(ctx_); }

bool CbcDecryptor::start(const std::string& key, const std::uint8_t* iv) {
  const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : key.size() == 16 ? EVP_aes_128_cbc() : nullptr;
  if (!cipher) return false;
  if (!ctx_ && !(ctx_ = EVP_CIPHER_CTX_new())) return false;
  if (EVP_DecryptInit_ex(ctx_, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), iv) != 1)
    return false;
  return EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1;
}

bool CbcDecryptor::update(const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
  if (!ctx_ || size % kAesBlock != 0) return false;
  std::vector<std::uint8_t> copy;
  if (in == out && size > 0) {  // the cipher's buffers must not overlap partly; keep it simple
    copy.assign(in, in + size);
    in = copy.data();
  }
  for (std::size_t done = 0; done < size;) {
    const int n = static_cast<int>(std::min<std::size_t>(size - done, 1 << 30));
    int got = 0;
    if (EVP_DecryptUpdate(ctx_, out + done, &got, in + done, n) != 1 || got != n) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool decryptBuffer(const std::string& key, const std::uint8_t* iv, std::uint8_t* data, std::size_t size) {
  CbcDecryptor d;
  return d.start(key, iv) && d.update(data, size, data);
}

}  // namespace rarlib
