#include "rarlib/rar_builder.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <cstring>

namespace rartest {

std::uint32_t crc32Of(const std::string& s) {
  return static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

namespace {

void le(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

std::string record(std::uint64_t type, const std::string& data) {
  std::string body = vint(type) + data;
  return vint(body.size()) + body;
}

const int kKdf = 1;  // 2 rounds: tests stay fast
const std::string kSalt(16, 's'), kIv(16, 'i');

// The data as an encrypted entry holds it: AES-256-CBC with the password's key,
// zero-padded to whole blocks.
std::string encrypt(const std::string& password, const std::string& data, const std::string& iv = kIv) {
  unsigned char key[32];
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(kSalt.data()), 16, 1 << kKdf, EVP_sha256(), 32, key);
  std::string padded = data;
  padded.resize((data.size() + 15) / 16 * 16, '\0');
  std::string out(padded.size(), '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, reinterpret_cast<const unsigned char*>(iv.data()));
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                    reinterpret_cast<const unsigned char*>(padded.data()), static_cast<int>(padded.size()));
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

// Version 0, a check value follows, the rounds, the salt, then what comes
// after: the entry's IV, or nothing for the archive's encryption block.
std::string encryptionData(const std::string& password, const std::string& iv) {
  const int kdf = kKdf;
  const std::string& salt = kSalt;
  std::uint8_t value[32];
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()), 16, (1 << kdf) + 32, EVP_sha256(), 32, value);
  std::uint8_t check[8] = {};
  for (int i = 0; i < 32; ++i) check[i % 8] ^= value[i];
  std::uint8_t digest[32];
  SHA256(check, 8, digest);
  std::string r = vint(0) + vint(1);  // version 0, a check value follows
  r.push_back(static_cast<char>(kdf));
  r += salt + iv;
  r.append(reinterpret_cast<const char*>(check), 8);
  r.append(reinterpret_cast<const char*>(digest), 4);
  return r;
}

std::string encryptionRecord(const std::string& password) { return record(1, encryptionData(password, kIv)); }

// A RAR5 file header block for a part of an entry's data.
std::string fileBlock(const Entry& e, const std::string& part, bool before, bool after, std::uint32_t crc) {
  std::uint64_t fileFlags = 0x04;  // CRC present
  if (e.directory) fileFlags |= 0x01;
  std::string body = vint(fileFlags) + vint(e.unpSize.value_or(e.data.size())) + vint(e.directory ? 040755 : e.attr);
  le(body, crc, 4);
  body += vint(e.solid ? 0x40 : 0) + vint(1) + vint(e.name.size()) + e.name;
  std::string extra;
  if (!e.link.empty()) extra += record(5, vint(1) + vint(0) + vint(e.link.size()) + e.link);
  if (!e.hardlink.empty()) extra += record(5, vint(4) + vint(0) + vint(e.hardlink.size()) + e.hardlink);
  if (!e.password.empty()) extra += encryptionRecord(e.password);
  std::uint64_t flags = (before ? 0x08 : 0) | (after ? 0x10 : 0);
  if (!e.password.empty()) {
    const std::string sealed = encrypt(e.password, part);
    return rar5Block(2, flags, body, extra, &sealed);
  }
  return rar5Block(2, flags, body, extra, &part);
}

}  // namespace

Entry file(const std::string& name, const std::string& data) {
  Entry e;
  e.name = name;
  e.data = data;
  return e;
}

Entry folder(const std::string& name) {
  Entry e;
  e.name = name;
  e.directory = true;
  return e;
}

Entry symlink(const std::string& name, const std::string& target) {
  Entry e;
  e.name = name;
  e.link = target;
  e.attr = 0120777;
  return e;
}

Entry hardlink(const std::string& name, const std::string& target) {
  Entry e;
  e.name = name;
  e.hardlink = target;
  return e;
}

std::string vint(std::uint64_t v) {
  std::string out;
  do {
    std::uint8_t b = v & 0x7f;
    v >>= 7;
    out.push_back(static_cast<char>(b | (v ? 0x80 : 0)));
  } while (v);
  return out;
}

std::string rar5Block(std::uint64_t type, std::uint64_t flags, const std::string& body, const std::string& extra,
                      const std::string* data) {
  std::string h = vint(type);
  h += vint(flags | (extra.empty() ? 0 : 1) | (data ? 2 : 0));
  if (!extra.empty()) h += vint(extra.size());
  if (data) h += vint(data->size());
  h += body + extra;
  std::string sized = vint(h.size()) + h;
  std::string out;
  le(out, crc32Of(sized), 4);
  out += sized;
  if (data) out += *data;
  return out;
}

std::string rar5EncryptedHeaders(const std::vector<Entry>& entries, const std::string& password) {
  std::string a = rar5Signature() + rar5Block(4, 0, encryptionData(password, {}));
  int n = 0;
  auto sealed = [&](const std::string& header) {
    const std::string iv(16, static_cast<char>('A' + n++));
    return iv + encrypt(password, header, iv);
  };
  a += sealed(rar5Main());
  for (const Entry& e : entries) {
    std::string block = fileBlock(e, e.data, false, false, e.crc.value_or(crc32Of(e.data)));
    const std::size_t dataSize = e.password.empty() ? e.data.size() : (e.data.size() + 15) / 16 * 16;
    a += sealed(block.substr(0, block.size() - dataSize)) + block.substr(block.size() - dataSize);
  }
  return a + sealed(rar5End());
}

std::string rar5Signature() { return std::string("Rar!\x1a\x07\x01\x00", 8); }

std::string rar5Main(std::uint64_t archiveFlags, std::optional<std::uint64_t> volumeNumber) {
  std::string body = vint(archiveFlags | (volumeNumber ? 2 : 0));
  if (volumeNumber) body += vint(*volumeNumber);
  return rar5Block(1, 0, body);
}

std::string rar5End(bool moreVolumes) { return rar5Block(5, 0, vint(moreVolumes ? 1 : 0)); }

std::string rar5(const std::vector<Entry>& entries, bool endBlock) {
  std::string a = rar5Signature() + rar5Main();
  for (const Entry& e : entries) a += fileBlock(e, e.data, false, false, e.crc.value_or(crc32Of(e.data)));
  if (endBlock) a += rar5End();
  return a;
}

std::vector<std::string> rar5Volumes(const std::vector<Entry>& entries, std::size_t partSize) {
  std::vector<std::string> parts;  // each volume's file block
  for (const Entry& e : entries) {
    std::size_t at = 0;
    do {
      std::string piece = e.data.substr(at, partSize);
      bool before = at > 0;
      at += piece.size();
      bool after = at < e.data.size();
      parts.push_back(fileBlock(e, piece, before, after, after ? crc32Of(piece) : e.crc.value_or(crc32Of(e.data))));
    } while (at < e.data.size());
  }
  std::vector<std::string> volumes;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::optional<std::uint64_t> number;
    if (i > 0) number = i;
    volumes.push_back(rar5Signature() + rar5Main(1, number) + parts[i] + rar5End(i + 1 < parts.size()));
  }
  return volumes;
}

std::string rar4(const std::vector<Entry>& entries, bool backslashes) {
  std::string a("Rar!\x1a\x07\x00", 7);
  std::string main;
  main.push_back(0x73);
  le(main, 0, 2);
  le(main, 13, 2);
  le(main, 0, 6);
  le(a, crc32Of(main) & 0xffff, 2);
  a += main;
  for (const Entry& e : entries) {
    std::string name = e.name;
    if (backslashes)
      for (char& c : name)
        if (c == '/') c = '\\';
    std::string h;
    h.push_back(0x74);
    le(h, 0x8000 | (e.directory ? 0x00e0 : 0), 2);
    le(h, 32 + name.size(), 2);
    le(h, e.data.size(), 4);
    le(h, e.unpSize.value_or(e.data.size()), 4);
    h.push_back(3);  // Unix
    le(h, e.crc.value_or(crc32Of(e.data)), 4);
    le(h, 0x58765764, 4);
    h.push_back(20);
    h.push_back(0x30);
    le(h, name.size(), 2);
    le(h, e.directory ? 040755 : e.attr, 4);
    h += name;
    le(a, crc32Of(h) & 0xffff, 2);
    a += h + e.data;
  }
  std::string end;
  end.push_back(0x7b);
  le(end, 0x4000, 2);
  le(end, 7, 2);
  le(a, crc32Of(end) & 0xffff, 2);
  return a + end;
}

}  // namespace rartest
