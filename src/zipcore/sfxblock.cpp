#include "zipcore/sfxblock.h"

#include "zipcore/records.h"

namespace zipcore {

namespace {

constexpr std::string_view kSfxMark = "MPU";

}  // namespace

SfxOverwrite SfxSettings::overwrite() const {
  if (has(kSfxOverwriteNever)) return SfxOverwrite::Never;
  if (has(kSfxOverwriteAlways)) return SfxOverwrite::Always;
  return SfxOverwrite::Confirm;
}

std::size_t SfxTextsLength(const SfxSettings& s) {
  return s.caption.size() + s.defaultDir.size() + s.commandLine.size();
}

std::string EncodeSfxBlock(const SfxSettings& s) {
  if (SfxTextsLength(s) > kSfxTextLimit) return {};
  std::string block(kSfxBlockSize, '\0');
  block.replace(0, kSfxMark.size(), kSfxMark);
  block[3] = static_cast<char>(s.options);
  block[4] = static_cast<char>(s.caption.size());
  block[5] = static_cast<char>(s.defaultDir.size());
  block[6] = static_cast<char>(s.commandLine.size());
  std::size_t at = kSfxTextsOffset;
  for (const std::string* text : {&s.caption, &s.defaultDir, &s.commandLine}) {
    block.replace(at, text->size(), *text);
    at += text->size();
  }
  return block;
}

SfxBlockRead DecodeSfxBlock(std::string_view block, SfxSettings& s) {
  if (block.size() != kSfxBlockSize || block.substr(0, kSfxMark.size()) != kSfxMark) return SfxBlockRead::Missing;
  const auto* b = bytesOf(block);
  // Lengths of caption, folder and command: together within the block.
  const std::size_t lengths[3] = {b[4], b[5], b[6]};
  if (lengths[0] + lengths[1] + lengths[2] > kSfxTextLimit) return SfxBlockRead::Damaged;
  s.options = b[3];
  std::size_t at = kSfxTextsOffset;
  std::string* texts[3] = {&s.caption, &s.defaultDir, &s.commandLine};
  for (int i = 0; i < 3; ++i) {
    texts[i]->assign(block.substr(at, lengths[i]));
    at += lengths[i];
  }
  return SfxBlockRead::Ok;
}

SfxBlockRead ReadSfxBlock(const InputFile& file, std::uint64_t contentStart, SfxSettings& s) {
  if (contentStart < kSfxBlockSize) return SfxBlockRead::Missing;
  std::string block;
  if (!file.readExact(contentStart - kSfxBlockSize, block, kSfxBlockSize)) return SfxBlockRead::Missing;
  return DecodeSfxBlock(block, s);
}

std::string EmptyEndRecord(std::uint64_t centralOffset) {
  if (centralOffset >= kMax32) return {};
  std::string eocd;
  put32(eocd, kEndSig);
  put16(eocd, 0);  // this disk
  put16(eocd, 0);  // disk of the directory
  put16(eocd, 0);  // entries on this disk
  put16(eocd, 0);  // entries
  put32(eocd, 0);  // directory size
  put32(eocd, static_cast<std::uint32_t>(centralOffset));
  put16(eocd, 0);  // comment length
  return eocd;
}

}  // namespace zipcore
