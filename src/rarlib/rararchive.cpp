#include "rarlib/rararchive.h"

#include <libdeflate.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "rarlib/entryoutput.h"

namespace rarlib {

namespace {

constexpr std::size_t kMaxLinkData = RAR_LINK_SIZE - 1;  // a link's text is at most this long
constexpr std::size_t kMaxCommentDecode = 1024 * 1024;
constexpr std::size_t kCopyBlock = 1024 * 1024;  // stored data is copied in blocks of this size

// Copies text into a fixed field, cut at a UTF-8 character boundary.
void copyField(char* field, std::size_t size, const std::string& text) {
  std::size_t n = std::min(text.size(), size - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80) --n;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

void put16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v);
  put16(s, v >> 16);
}

// A one-file archive of the 1.5-4.x format around packed data: how a packed
// comment is decoded (the decoder reads nothing but whole archives).
std::string wrapPackedComment(const RarComment& c) {
  std::string a("Rar!\x1a\x07\x00", 7);
  std::string main;
  main.push_back(0x73);
  put16(main, 0);   // flags
  put16(main, 13);  // size
  main.append(6, '\0');
  std::uint32_t crc = libdeflate_crc32(0, main.data(), main.size()) & 0xffff;
  put16(a, crc);
  a += main;
  std::string file;
  file.push_back(0x74);
  put16(file, 0x8000 | (c.fileFlags & 0x00c0));  // long block; the dictionary size bits
  put16(file, 33);
  put32(file, static_cast<std::uint32_t>(c.data.size()));
  put32(file, static_cast<std::uint32_t>(c.unpSize));
  file.push_back(static_cast<char>(c.hostOS));
  put32(file, c.crc);
  put32(file, 0x00210000);  // 1980-01-01
  file.push_back(static_cast<char>(c.unpVer));
  file.push_back(static_cast<char>(c.methodByte));
  put16(file, 1);
  put32(file, 0x20);
  file.push_back('c');
  crc = libdeflate_crc32(0, file.data(), file.size()) & 0xffff;
  put16(a, crc);
  a += file;
  a += c.data;
  return a;
}

// Whether an entry's password can be checked before its data is read (a RAR5
// check value that is intact).
bool passwordChecked(const RarEntry& e) {
  return e.crypt.kind == RarCrypt::Rar5Aes && e.crypt.hasCheck && rar5CheckIntact(e.crypt.check.data());
}

// The IV of an entry's data: stored with a RAR5 entry, derived with the key for
// RAR 2.9-4.x.
const std::uint8_t* dataIv(const RarCrypt& crypt, const RarKeys& keys) {
  return crypt.kind == RarCrypt::Rar5Aes ? crypt.iv.data() : keys.iv.data();
}

}  // namespace

RarArchive::RarArchive() : limits_(defaultLimits()) {}
RarArchive::~RarArchive() { decoder_.stop(); }

int RarArchive::open(RAROpenArchiveData& data) {
  data.CmtSize = 0;
  data.CmtState = RAR_CMT_NONE;
  if (!data.ArcName || (data.OpenMode != RAR_OM_LIST && data.OpenMode != RAR_OM_EXTRACT))
    return static_cast<int>(data.OpenResult = RAR_BAD_PARAMS);
  mode_ = static_cast<int>(data.OpenMode);
  options_ = data.Options;
  int r = reader_.open(data.ArcName);
  if (r == RAR_SUCCESS) readComment(data);
  data.OpenResult = static_cast<std::uint32_t>(r);
  return r;
}

void RarArchive::readComment(RAROpenArchiveData& data) {
  const RarComment& c = reader_.comment();
  if (!c.present || !data.CmtBuf || data.CmtBufSize == 0) return;
  if (c.state != 0) {
    data.CmtState = c.state;
    return;
  }
  std::string text = c.data;
  if (!c.stored) {
    std::string decoded;
    if (!decodeMemoryArchive(wrapPackedComment(c), kMaxCommentDecode, decoded, limits_) ||
        libdeflate_crc32(0, decoded.data(), decoded.size()) != c.crc) {
      data.CmtState = RAR_BAD_DATA;
      return;
    }
    text = std::move(decoded);
  }
  std::size_t n = std::min<std::size_t>(text.size(), data.CmtBufSize - 1);
  std::memcpy(data.CmtBuf, text.data(), n);
  data.CmtBuf[n] = '\0';
  data.CmtSize = static_cast<std::uint32_t>(n + 1);
  data.CmtState = n < text.size() ? RAR_SMALL_BUF : RAR_CMT_READ;
}

void RarArchive::setVolumeProc(RarChangeVolProc proc, void* user) {
  volumeProc_ = proc;
  volumeUser_ = user;
  if (!proc) {
    reader_.setVolumeCallback(nullptr);
    return;
  }
  reader_.setVolumeCallback([this](std::string& name, int mode) {
    char buffer[RAR_LINK_SIZE];
    copyField(buffer, sizeof buffer, name);
    int answer = volumeProc_(volumeUser_, buffer, mode);
    buffer[sizeof buffer - 1] = '\0';
    name = buffer;
    return answer;
  });
}

void RarArchive::setDataProc(RarProcessDataProc proc, void* user) {
  dataProc_ = proc;
  dataUser_ = user;
}

void RarArchive::setPassword(const char* password) {
  password_ = password ? password : "";
  reader_.setPassword(password_);
}

int RarArchive::nextEntry(RarEntry& e) {
  if (!lookahead_.empty()) {
    e = std::move(lookahead_.front());
    lookahead_.pop_front();
    return RAR_SUCCESS;
  }
  int r = reader_.next(e);
  if (r == RAR_SUCCESS) noteEntry(e, walked_++);
  return r;
}

// Records where an entry lies in the stream the decoder reads. A single archive
// is given to the decoder as its start (signature and main header) followed by
// the entries' blocks, so a decoder can start at any entry that does not
// continue a solid stream; a volume set is given whole, volume by volume.
void RarArchive::noteEntry(const RarEntry& e, int index) {
  if (mode_ != RAR_OM_EXTRACT) return;
  if (reader_.volumeSet()) {
    const auto& vols = reader_.volumes();
    std::size_t have = 0;
    for (const Piece& p : pieces_) have += p.segment.path.empty() ? 0 : 1;
    for (std::size_t v = have; v < vols.size(); ++v) {
      struct stat st {};
      Segment s;
      s.path = vols[v];
      s.length = ::stat(vols[v].c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
      pieces_.push_back(Piece{index, std::move(s), {}, {}, false, {}});
    }
    return;
  }
  if (!(e.flags & RAR_FLAG_SOLID) && !processing_) {
    // A restart point: what lies before it is never needed again, unless the
    // running decoder still has to pass it (then it is stopped; it restarts here).
    std::size_t drop = 0;
    while (drop < pieces_.size() && pieces_[drop].entry < index) ++drop;
    if (decoder_.running() && sent_ < drop) decoder_.stop();
    pieces_.erase(pieces_.begin(), pieces_.begin() + static_cast<std::ptrdiff_t>(drop));
    sent_ = sent_ > drop ? sent_ - drop : 0;
    groupStart_ = index;
  }
  for (const RarPart& p : e.parts) {
    Segment s;
    s.path = reader_.volumes()[static_cast<std::size_t>(p.volume)];
    s.offset = p.headerOffset;
    s.length = p.headerSize + p.dataSize;
    streamEnd_ = p.headerOffset + p.headerSize + p.dataSize;
    Piece piece{index, std::move(s), {}, {}, false, {}};
    if (!p.header.empty()) {
      // Encrypted: the header as the decoder is to read it, then the data, which
      // is decrypted on its way to the decoder.
      piece.header = p.header;
      piece.segment.offset = p.dataOffset;
      piece.segment.length = p.dataSize;
      if (e.encrypted()) piece.crypt = e.crypt;
      piece.packed = e.method != 0;
    }
    pieces_.push_back(std::move(piece));
  }
}

// The keys of an entry's encryption with the password set; null without one.
const RarKeys* RarArchive::entryKeys(const RarCrypt& crypt) {
  if (password_.empty()) return nullptr;
  if (crypt.kind == RarCrypt::Rar5Aes) return reader_.keys().rar5(password_, crypt.salt.data(), crypt.kdfCount);
  if (crypt.kind == RarCrypt::Rar4Aes) return reader_.keys().rar4(password_, crypt.salt.data());
  return nullptr;
}

// A piece as the decoder gets it: encrypted data with the key of the password
// set now (without one it goes as it is: the entry is refused anyway). The RAR5
// decoder must not see the padding after a compressed stream: the header gets
// the stream's own length.
void RarArchive::send(Piece& piece, std::vector<Segment>& out) {
  Segment s = piece.segment;
  std::string header = piece.header;
  if (piece.crypt.kind != RarCrypt::None) piece.keyedWith = password_;
  const RarKeys* k = piece.crypt.kind != RarCrypt::None ? entryKeys(piece.crypt) : nullptr;
  if (k) {
    const std::uint8_t* iv = dataIv(piece.crypt, *k);
    s.key = k->key;
    s.iv.assign(reinterpret_cast<const char*>(iv), kAesBlock);
    s.deliver = s.length;
    if (piece.crypt.kind == RarCrypt::Rar5Aes && piece.packed) {
      VolumeFile v;
      const bool opened = v.open(s.path);
      auto plainAt = [&](std::uint64_t offset, std::uint8_t* dst, std::size_t size) {
        // CBC: a block decrypts with the ciphertext before it as its IV.
        const std::uint64_t first = offset / kAesBlock * kAesBlock;
        std::uint8_t prev[kAesBlock], buf[3 * kAesBlock];
        const std::size_t n = roundToAes(offset - first + size);
        if (!opened || n > sizeof buf || first + n > s.length) return false;
        if (first == 0)
          std::memcpy(prev, iv, kAesBlock);
        else if (!v.read(s.offset + first - kAesBlock, prev, kAesBlock))
          return false;
        if (!v.read(s.offset + first, buf, n) || !decryptBuffer(s.key, prev, buf, n)) return false;
        std::memcpy(dst, buf + (offset - first), size);
        return true;
      };
      s.deliver = compressedLength5(s.length, plainAt);
      s.length = std::min<std::uint64_t>(s.length, roundToAes(s.deliver));
      header = withDataSize5(header, s.deliver);
    }
  }
  if (!header.empty()) {
    Segment h;
    h.bytes = std::move(header);
    out.push_back(std::move(h));
  }
  out.push_back(std::move(s));
}

// What follows the last entry (the end block): the decoder may look at it when
// it finishes the last entry.
void RarArchive::appendTrailer() {
  if (trailerAdded_ || reader_.volumeSet() || reader_.failure() == 0) return;
  trailerAdded_ = true;
  if (std::string end = reader_.plainTrailer(); !end.empty()) {
    // The archive's own end block is encrypted.
    Segment s;
    s.bytes = std::move(end);
    pieces_.push_back(Piece{walked_, std::move(s), {}, {}, false, {}});
    return;
  }
  struct stat st {};
  const std::string& path = reader_.volumes().front();
  if (::stat(path.c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) <= streamEnd_) return;
  Segment s;
  s.path = path;
  s.offset = streamEnd_;
  s.length = std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) - streamEnd_, 64 * 1024);
  pieces_.push_back(Piece{walked_, std::move(s), {}, {}, false, {}});
}

bool RarArchive::moreInput(std::vector<Segment>& out) {
  while (sent_ >= pieces_.size()) {
    RarEntry e;
    int r = reader_.next(e);
    if (r != RAR_SUCCESS) {
      appendTrailer();
      if (sent_ >= pieces_.size()) return false;
      break;
    }
    noteEntry(e, walked_++);
    lookahead_.push_back(std::move(e));
  }
  for (; sent_ < pieces_.size(); ++sent_) send(pieces_[sent_], out);
  return true;
}

int RarArchive::ensureDecoder(int index) {
  if (decoder_.running() && decoder_.next() <= index) return RAR_SUCCESS;
  decoder_.stop();
  const int start = reader_.volumeSet() ? 0 : groupStart_;
  if (deadAt_ >= start && deadAt_ < index) return RAR_BAD_DATA;  // passing it again would fail again
  appendTrailer();
  std::vector<Segment> input;
  if (!reader_.volumeSet()) {
    Segment prefix;
    prefix.bytes.assign(reader_.archivePrefix().begin(), reader_.archivePrefix().end());
    input.push_back(std::move(prefix));
  }
  sent_ = 0;
  for (; sent_ < pieces_.size(); ++sent_)
    if (pieces_[sent_].entry >= start) send(pieces_[sent_], input);
  int error = 0;
  if (!decoder_.start(
          start, std::move(input), [this](std::vector<Segment>& out) { return moreInput(out); }, limits_, error))
    return error;
  return RAR_SUCCESS;
}

int RarArchive::readHeader(RARHeaderData& header) {
  haveCurrent_ = false;
  if (readResult_ != 0) return readResult_;
  RarEntry e;
  int r = nextEntry(e);
  if (r != RAR_SUCCESS) {
    // Encrypted headers without the right password: asked again once one is set.
    if (r != RAR_MISSING_PASSWORD && r != RAR_BAD_PASSWORD) readResult_ = r;
    return r;
  }
  current_ = std::move(e);
  ++index_;
  haveCurrent_ = true;
  fillHeader(current_, header);
  return RAR_SUCCESS;
}

void RarArchive::fillHeader(const RarEntry& e, RARHeaderData& h) {
  copyField(h.FileName, sizeof h.FileName, e.name);
  h.Flags = e.flags;
  if (!e.complete && e.parts.size() > 0 && (e.flags & RAR_FLAG_SPLIT_BEFORE) == 0) h.Flags |= RAR_FLAG_SPLIT_AFTER;
  h.PackSize = static_cast<std::uint32_t>(e.packSize);
  h.PackSizeHigh = static_cast<std::uint32_t>(e.packSize >> 32);
  h.UnpSize = static_cast<std::uint32_t>(e.unpSize);
  h.UnpSizeHigh = static_cast<std::uint32_t>(e.unpSize >> 32);
  h.HostOS = e.hostOS;
  h.FileCRC = e.hasCrc ? e.crc : 0;
  h.FileTime = e.dosTime;
  h.UnpVer = e.unpVer;
  h.Method = e.method;
  h.FileAttr = e.attr;
  h.CmtSize = 0;
  h.CmtState = RAR_CMT_NONE;
  h.MTime = e.mtime;
  std::string link = e.linkTarget;
  if (link.empty() && e.symlink() && e.method == 0 && e.parts.size() == 1 && e.complete &&
      e.parts[0].dataSize <= kMaxLinkData && !e.encrypted()) {
    // A link of the 1.5-4.x format keeps its text as stored data.
    link.resize(static_cast<std::size_t>(e.parts[0].dataSize));
    VolumeFile v;
    if (!v.open(reader_.volumes()[static_cast<std::size_t>(e.parts[0].volume)]) ||
        !v.read(e.parts[0].dataOffset, link.data(), link.size()))
      link.clear();
  }
  copyField(h.LinkTarget, sizeof h.LinkTarget, link);
}

// An entry whose parts were not all found: a volume that could not be opened,
// or damage.
int RarArchive::failedEntryCode(const RarEntry& e) const {
  if (e.complete) return 0;
  return reader_.failure() == RAR_EOPEN ? RAR_EOPEN : RAR_BAD_DATA;
}

// Whether the entry can be decrypted with the password set: RAR_SUCCESS, or why
// not. A RAR5 entry usually carries a check value of its password; where there
// is none (and in the 2.9-4.x format) a wrong password shows only in the data.
int RarArchive::checkPassword(const RarEntry& e) {
  if (password_.empty()) return RAR_MISSING_PASSWORD;
  if (e.crypt.kind == RarCrypt::Other) return RAR_NO_DECRYPTION;
  // Parts in several volumes are each encrypted on their own; packed data of a
  // volume set reaches the decoder as whole volumes, not decrypted.
  if (e.parts.size() != 1 || (reader_.volumeSet() && e.method != 0)) return RAR_NO_DECRYPTION;
  const RarKeys* k = entryKeys(e.crypt);
  if (!k) return RAR_NO_MEMORY;
  if (e.crypt.kind == RarCrypt::Rar5Aes && passwordChecked(e) && !rar5CheckMatches(*k, e.crypt.check.data()))
    return RAR_BAD_PASSWORD;
  return RAR_SUCCESS;
}

bool RarArchive::crcMatches(const RarEntry& e, std::uint32_t crc) {
  if (!e.hasCrc) return true;
  if (!e.crypt.tweakedChecksums) return crc == e.crc;
  const RarKeys* k = entryKeys(e.crypt);
  return k && rar5KeyedCrc(crc, *k) == e.crc;
}

int RarArchive::reportData(const std::uint8_t* block, std::size_t size) {
  if (!dataProc_) return 0;
  while (size > 0 || block == nullptr) {
    int n = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
    if (dataProc_(dataUser_, block, n) < 0) return RAR_ABORTED;
    if (!block) return 0;
    block += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int RarArchive::processFile(int operation, const char* folder, const char* name) {
  if (!haveCurrent_) return RAR_BAD_PARAMS;
  haveCurrent_ = false;
  if (operation == RAR_SKIP) return RAR_SUCCESS;
  if (mode_ != RAR_OM_EXTRACT || (operation != RAR_TEST && operation != RAR_EXTRACT)) return RAR_BAD_PARAMS;
  const RarEntry& e = current_;
  const bool extracting = operation == RAR_EXTRACT;
  if (extracting) {
    if (!output_) output_ = std::make_unique<EntryOutput>();
    if (int r = output_->begin(folder, name, options_)) return r;
  }
  if (int r = failedEntryCode(e)) return r;
  if (e.encrypted() && !e.directory())
    if (int r = checkPassword(e)) return r;
  if (e.directory()) return extracting ? output_->makeFolder(e) : RAR_SUCCESS;
  if (!e.linkTarget.empty()) {
    // Links and file copies of the 5.0 format carry no data.
    if (!extracting) return RAR_SUCCESS;
    return (e.flags & RAR_FLAG_HARDLINK) ? output_->copyOf(e, e.linkTarget) : output_->makeLink(e, e.linkTarget);
  }
  processing_ = true;
  int r = decodeEntry(e, extracting);
  processing_ = false;
  // Without a check value, a wrong password shows as damaged data, unless the
  // entry continues a solid stream that this password decrypted right.
  if (e.encrypted() && r == RAR_SUCCESS) provenPassword_ = password_;
  const bool proven = (e.flags & RAR_FLAG_SOLID) && provenPassword_ == password_;
  if (r == RAR_BAD_DATA && e.encrypted() && !passwordChecked(e) && !proven) r = RAR_BAD_PASSWORD;
  return r;
}

// Stored data is copied straight from the volumes; packed data goes through the
// decoder child. Either way the data is counted, checked against the stored
// CRC-32 and size, and written to a file that gets its name only when all
// checked out.
int RarArchive::decodeEntry(const RarEntry& e, bool extracting) {
  const bool link = e.symlink();
  const bool stored = e.method == 0;
  if (!stored) {
    // Data the running decoder was given with another password is sent again.
    for (std::size_t i = 0; i < sent_ && i < pieces_.size() && e.encrypted(); ++i)
      if (pieces_[i].entry == index_ && pieces_[i].crypt.kind != RarCrypt::None && pieces_[i].keyedWith != password_)
        decoder_.stop();
    if (int r = ensureDecoder(index_)) return r;
  }
  std::string linkText;
  if (extracting && !link)
    if (int r = output_->openFile(e)) return r;
  std::uint32_t crc = 0;
  std::uint64_t produced = 0;
  const std::uint64_t limit = (e.flags & RAR_FLAG_UNSIZED) ? UINT64_MAX : e.unpSize;
  auto sink = [&](const std::uint8_t* data, std::size_t size) -> int {
    if (!data) return reportData(nullptr, 0);
    if (size > limit - produced) return RAR_BAD_DATA;  // more data than the entry holds
    produced += size;
    crc = libdeflate_crc32(crc, data, size);
    if (link) {
      if (linkText.size() + size > kMaxLinkData) return RAR_BAD_DATA;
      linkText.append(reinterpret_cast<const char*>(data), size);
    } else if (extracting) {
      if (int w = output_->write(data, size)) return w;
    }
    return reportData(data, size);
  };
  int r = stored ? copyStored(e, sink) : decodePacked(e, link, linkText, crc, produced, sink);
  if (r == RAR_SUCCESS && !(e.flags & RAR_FLAG_UNSIZED) && produced != e.unpSize) r = RAR_BAD_DATA;
  if (r == RAR_SUCCESS && !crcMatches(e, crc)) r = RAR_BAD_DATA;
  if (!extracting) return r;
  if (r != RAR_SUCCESS) {
    if (!link) output_->discardFile();
    return r;
  }
  return link ? output_->makeLink(e, linkText) : output_->commitFile(e);
}

// Encrypted stored data is decrypted here; the padding after the last block is
// left out.
int RarArchive::copyStored(const RarEntry& e, const Decoder::DataSink& sink) {
  std::vector<std::uint8_t> buf;
  CbcDecryptor cipher;
  const bool encrypted = e.encrypted();
  if (encrypted) {
    const RarKeys* k = entryKeys(e.crypt);
    if (!k || !cipher.start(k->key, dataIv(e.crypt, *k))) return RAR_NO_MEMORY;
  }
  std::uint64_t left = e.unpSize;  // encrypted: what remains to hand on
  for (const RarPart& p : e.parts) {
    VolumeFile v;
    if (!v.open(reader_.volumes()[static_cast<std::size_t>(p.volume)])) return RAR_EOPEN;
    if (encrypted && p.dataSize % kAesBlock != 0) return RAR_BAD_DATA;
    for (std::uint64_t done = 0; done < p.dataSize;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(p.dataSize - done, kCopyBlock));
      buf.resize(n);
      if (!v.read(p.dataOffset + done, buf.data(), n)) return v.failed() ? RAR_EREAD : RAR_BAD_DATA;
      done += n;
      if (encrypted) {
        if (!cipher.update(buf.data(), n, buf.data())) return RAR_NO_MEMORY;
        if (n - std::min<std::uint64_t>(n, left) >= kAesBlock) return RAR_BAD_DATA;  // more than padding
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
        left -= n;
      }
      if (int r = sink(buf.data(), n)) return r;
    }
  }
  return RAR_SUCCESS;
}

int RarArchive::decodePacked(const RarEntry& e, bool link, std::string& linkText, std::uint32_t& crc,
                             std::uint64_t& produced, const Decoder::DataSink& sink) {
  DecodedHeader seen;
  std::string detail;
  int r = decoder_.process(index_, true, seen, sink, detail);
  // The decoder must have been at the same entry as the header walk.
  if (r == RAR_SUCCESS) {
    const bool sameName = seen.name == e.name || seen.name.empty();
    const bool sameSize = !seen.sizeKnown || (e.flags & RAR_FLAG_UNSIZED) || link || seen.size == e.unpSize;
    if (!sameName || !sameSize) {
      decoder_.stop();
      r = RAR_BAD_DATA;
    }
  }
  if (link && r == RAR_SUCCESS && linkText.empty()) {
    // The decoder hands a link's text over as the link, not as data.
    if (seen.symlink.size() > kMaxLinkData) return RAR_BAD_DATA;
    linkText = seen.symlink;
    crc = libdeflate_crc32(0, linkText.data(), linkText.size());
    produced = linkText.size();
  }
  if (!decoder_.running() && r != RAR_SUCCESS && r != RAR_ABORTED) deadAt_ = index_;
  return r;
}

}  // namespace rarlib
