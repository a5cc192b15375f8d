// Opening an archive: the drive that holds it and its end record.
#include <algorithm>
#include <cctype>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/routines.h"
#include "zipengine/zipengine.h"
#include "zipengine/zipparse.h"

using namespace zipfmt;

namespace {

// "PKBACK# nnn": the three characters after the 8-character prefix as a number,
// 0 when the label has no such prefix or they are not a number.
int labelDiskNumber(const std::string& label) {
  static const std::string kPrefix = "PKBACK# ";
  if (label.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  std::string digits = label.substr(kPrefix.size(), 3);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
    return 0;
  return std::stoi(digits);
}

}  // namespace

void TZipEngine::CheckArchiveDrive() {
  const std::string root = platform::drives().rootOf(platform::absolutePath(ZipFilename_));
  DriveRoot_ = platform::AddBackslash(root);
  std::optional<std::string> label = platform::drives().labelOf(root);
  if (!label) throw EZipEngine(zipmsg::kDriveNotDefined, DriveRoot_);
  VolumeLabel_ = *label;
}

bool TZipEngine::LocateEocd(bool reportErrors) {
  ArchiveComment_.clear();
  Zip64End_.reset();
  Zip64EndOffset_ = 0;
  if (!InFile_.open(ZipFilename_)) {
    if (reportErrors) throw EZipEngine::Display(zipmsg::kInputFileNotExist);
    ShowZipMessage(zipmsg::kZipNotOpened);
    return false;
  }
  LabelDiskNr_ = labelDiskNumber(VolumeLabel_);

  unsigned char head[8];
  SpanMarker_ = InFile_.readExact(0, head, 8) && get32(head) == kSpanMarkerSig && get32(head + 4) == kLocalHeaderSig;
  if (SpanMarker_) SpannedSet_ = true;

  const std::uint64_t physicalSize = InFile_.size();
  std::string tail;
  std::optional<zipparse::EocdHit> hit;
  if (physicalSize >= kEocdSize) {
    // An archive without comment: its record is the last 22 bytes.
    tail.resize(kEocdSize);
    if (!InFile_.readExact(physicalSize - kEocdSize, tail.data(), kEocdSize))
      throw EZipEngine::Display(zipmsg::kErrorReadingEocd);
    hit = zipparse::FindEocd(tail, physicalSize);
    if (hit && (hit->rank < 3 || hit->commentEnd != physicalSize)) hit.reset();
    if (!hit) {
      if (!ReadTail(tail)) throw EZipEngine::Display(zipmsg::kErrorReadingEocd);
      hit = zipparse::FindEocd(tail, physicalSize);
    }
  }

  if (!hit) {
    InFile_.close();
    if (!reportErrors) return false;
    if (LabelDiskNr_ != 0 && !SpanMarker_) throw EZipEngine(zipmsg::kNthDiskOfSet, LabelDiskNr_);
    if (!SpanMarker_) throw EZipEngine::Display(zipmsg::kNotValidZip);
    if (LabelDiskNr_ != 1) throw EZipEngine::Display(zipmsg::kFirstFileOfSet);
    throw EZipEngine::Display(zipmsg::kFirstDiskOfSet);
  }

  const std::uint64_t tailStart = physicalSize - tail.size();
  Eocd_ = hit->record;
  DirEndOffset_ = tailStart + hit->pos;
  FileSize_ = hit->commentEnd;
  // The comment is what the file holds of it: a length running past the end of the
  // file (a truncated file) is cut at the end.
  const std::size_t commentStart = hit->pos + kEocdSize;
  ReadArchiveComment(std::string_view(tail).substr(commentStart, Eocd_.CommentLength));
  if (hit->commentEnd > physicalSize) {
    ShowZipMessage(zipmsg::kGarbageAtEnd);
  } else if (hit->commentEnd < physicalSize) {
    const auto surplusStart = static_cast<std::size_t>(hit->commentEnd - tailStart);
    if (!zipparse::IsToleratedPadding(std::string_view(tail).substr(surplusStart), physicalSize))
      ShowZipMessage(zipmsg::kGarbageAtEnd);
  }
  FindZip64End();
  return true;
}

// Reads the last min(file size, 65557) bytes: room for the record and the longest
// comment.
bool TZipEngine::ReadTail(std::string& tail) {
  const std::uint64_t size = InFile_.size();
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEocdSearchSize));
  tail.resize(n);
  return InFile_.readExact(size - n, tail.data(), n);
}

void TZipEngine::ReadArchiveComment(std::string_view commentBytes) {
  // Read as a NUL-terminated text: it ends at the first NUL.
  std::string_view text = commentBytes.substr(0, commentBytes.find('\0'));
  // Comments carry no character-set mark; bytes that are not UTF-8 are taken as code
  // page 437, so the text is always shown readably.
  ArchiveComment_ = platform::isValidUtf8(text) ? std::string(text) : platform::cp437ToUtf8(text);
}

// ZIP64 archives put a 20-byte locator right before the end record, pointing at
// the ZIP64 end record. The locator's offset is taken as stored when a record is
// there; otherwise (bytes added in front of the archive) the record is looked for
// right before the locator, where writers put it.
void TZipEngine::FindZip64End() {
  if (DirEndOffset_ < kZip64LocatorSize) return;
  const std::uint64_t locatorAt = DirEndOffset_ - kZip64LocatorSize;
  char locator[kZip64LocatorSize];
  if (!InFile_.readExact(locatorAt, locator, sizeof locator)) return;
  std::optional<std::uint64_t> stored = zipparse::ParseZip64Locator(std::string_view(locator, sizeof locator));
  if (!stored) return;
  char record[kZip64EocdSize];
  auto tryAt = [&](std::uint64_t at) -> bool {
    if (at > locatorAt || locatorAt - at < kZip64EocdSize) return false;
    if (!InFile_.readExact(at, record, sizeof record)) return false;
    Zip64End_ = zipparse::ParseZip64End(std::string_view(record, sizeof record));
    if (Zip64End_) Zip64EndOffset_ = at;
    return Zip64End_.has_value();
  };
  if (!tryAt(*stored) && locatorAt >= kZip64EocdSize) tryAt(locatorAt - kZip64EocdSize);
}
