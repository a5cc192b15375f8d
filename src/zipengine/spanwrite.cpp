// WriteSpan: cutting a finished archive into a spanned set.
//
// The set's layout: the first volume begins with the spanning marker "PK\7\8",
// followed at once by the first local header. Entries follow in the order of
// their data in the input; a local header with its name and extra field never
// lies across two volumes, while data and data descriptors run on into the next.
// Then the central directory, whose headers are never split and whose
// disk-number-start and offset fields are rewritten to where each local header
// landed, and the end record (with the ZIP64 end records when a value needs
// them) naming the last disk and where the directory starts.
#include <sys/stat.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "platform/paths.h"
#include "zipcore/directory.h"
#include "zipcore/records.h"
#include "zipengine/spanjob.h"
#include "zipengine/spanrecords.h"
#include "zipengine/zipengine.h"

using namespace zipcore;

namespace {

// Raises the engine error for a directory that could not be read.
[[noreturn]] void RaiseDirError(DirError error) {
  switch (error) {
    case DirError::NotZip: throw EZipEngine::Display(zipmsg::kNotValidZip);
    case DirError::BadSignature: throw EZipEngine::Display(zipmsg::kCentralSignatureWrong);
    case DirError::ShortName: throw EZipEngine::Display(zipmsg::kErrorReadingCentralName);
    case DirError::ShortExtra: throw EZipEngine::Display(zipmsg::kErrorReadingCentralExtra);
    case DirError::ShortComment: throw EZipEngine::Display(zipmsg::kErrorReadingFileComment);
    case DirError::SizeBeyondEnd: throw EZipEngine::Display(zipmsg::kSeekErrorInputFile);
    default: throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
  }
}

// Length of the data descriptor after an entry's data: 16 bytes with its
// signature (24 with ZIP64 sizes), 12 without one.
std::size_t DescriptorLength(const InputFile& in, std::uint64_t at, bool zip64) {
  unsigned char sig[4];
  if (!in.readExact(at, sig, 4)) throw EZipEngine::Display(zipmsg::kErrorDataDescriptor);
  if (get32(sig) == kDescriptorSig) return zip64 ? 24 : 16;
  return zip64 ? 20 : 12;
}

}  // namespace

int TZipEngine::WriteSpan(const std::string& inFile, const std::string& outFile) {
  const bool wasBusy = ZipBusy_;
  ZipBusy_ = true;
  const int result = RunSpanOperation(*this, [&] { WriteSpanChecked(inFile, outFile); });
  ZipBusy_ = wasBusy;
  return result;
}

void TZipEngine::WriteSpanChecked(const std::string& inFile, const std::string& outFile) {
  SpanJob job(*this, outFile);
  if (Verbose && OnMessage)
    OnMessage(*this, 0, zipmsg::Text(zipmsg::kCreatingSpanChunks) + inFile + zipmsg::Text(zipmsg::kSpanTo) + outFile);
  InputFile in;
  if (!platform::fileExists(inFile) || !in.open(inFile)) throw EZipEngine::Display(zipmsg::kInputFileNotExist);
  Directory dir;
  if (const DirError error = zipcore::ReadDirectory(in, dir, CodePage); error != DirError::None) RaiseDirError(error);
  struct stat st {};
  if (::fstat(in.fd(), &st) == 0) job.SetDate = st.st_mtime;
  job.InputSize = in.size();

  // The entries in the order of their data.
  const std::size_t count = dir.entries.size();
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  for (const ZipEntry& e : dir.entries)
    if (!e.offsetInFile || e.zip64Missing) throw EZipEngine::Display(zipmsg::kErrorReadingLocalHeader);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return dir.entries[a].localOffset < dir.entries[b].localOffset;
  });
  struct Placed {
    std::uint32_t disk = 0;
    std::uint64_t offset = 0;
  };
  std::vector<Placed> placed(count);

  // The marker and the first local header go on the first disk together.
  std::uint64_t firstHeader = 0;
  if (count > 0) {
    unsigned char h[kLocalHeaderSize];
    const ZipEntry& e = dir.entries[order.front()];
    if (in.readExact(e.localOffset, h, sizeof h) && get32(h) == kLocalHeaderSig)
      firstHeader = kLocalHeaderSize + get16(h + 26) + get16(h + 28);
  }
  unsigned char marker[4];
  put32(marker, kDescriptorSig);
  job.WriteBlock(marker, 4, 4 + firstHeader);
  job.Progress = true;
  if (OnProgress) {
    OnProgress(*this, ptTotalFiles, {}, static_cast<std::int64_t>(count));
    OnProgress(*this, ptTotalSize, {}, static_cast<std::int64_t>(in.size()));
  }

  std::string header, nameBytes;
  for (std::size_t index : order) {
    const ZipEntry& e = dir.entries[index];
    if (!in.readExact(e.localOffset, header, kLocalHeaderSize))
      throw EZipEngine::Display(zipmsg::kErrorReadingLocalHeader);
    if (get32(header, 0) != kLocalHeaderSig) throw EZipEngine::Display(zipmsg::kLocalSignatureWrong);
    const std::uint16_t nameLen = get16(header, 26), extraLen = get16(header, 28);
    const std::uint64_t nameAt = e.localOffset + kLocalHeaderSize;
    if (!in.readExact(nameAt, nameBytes, nameLen)) throw EZipEngine::Display(zipmsg::kErrorReadingLocalName);
    std::string extra;
    if (!in.readExact(nameAt + nameLen, extra, extraLen)) throw EZipEngine::Display(zipmsg::kErrorReadingLocalExtra);
    const std::uint64_t headLen = kLocalHeaderSize + nameLen + extraLen;
    const std::uint64_t dataAt = e.localOffset + headLen;
    const bool descriptor = (e.flags & kFlagDescriptor) != 0;
    const std::size_t descLen =
        descriptor ? DescriptorLength(in, dataAt + e.compressedSize, findExtra(extra, kExtraZip64).has_value()) : 0;
    if (OnProgress)
      OnProgress(*this, ptFileBegin, e.name, static_cast<std::int64_t>(headLen + e.compressedSize + descLen));
    if (OnMessage) OnMessage(*this, 0, zipmsg::Text(zipmsg::kCopying) + e.name);

    job.WriteBlock(header.data(), header.size(), headLen);
    placed[index] = {static_cast<std::uint32_t>(job.DiskNr), job.BytesOnDisk - kLocalHeaderSize};
    job.WriteBlock(nameBytes.data(), nameBytes.size(), 0);
    job.WriteBlock(extra.data(), extra.size(), 0);
    job.CopyFrom(in.fd(), dataAt, e.compressedSize, zipmsg::kErrorReadingZippedData);
    if (descLen) job.CopyFrom(in.fd(), dataAt + e.compressedSize, descLen, zipmsg::kErrorDataDescriptor);
  }

  // The central directory, in its own order.
  std::uint64_t cdBytes = 0;
  std::string h;
  for (const ZipEntry& e : dir.entries) {
    if (!spanrec::CentralHeaderAt(e, 0, 0, h)) throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    cdBytes += h.size();
  }
  const std::string& comment = dir.end.comment;
  if (OnMessage) OnMessage(*this, 0, zipmsg::Text(zipmsg::kCopyingCentralDir));
  if (OnProgress)
    OnProgress(*this, ptFileBegin, zipmsg::Text(zipmsg::kCentralDirectory),
               static_cast<std::int64_t>(cdBytes + kEndSize + comment.size()));
  std::uint32_t cdDisk = 0;
  std::uint64_t cdOffset = 0, cdSize = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const ZipEntry& e = dir.entries[i];
    if (!spanrec::CentralHeaderAt(e, placed[i].disk, placed[i].offset, h))
      throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    job.EnsureRoom(h.size());
    if (i == 0) {
      cdDisk = static_cast<std::uint32_t>(job.DiskNr);
      cdOffset = job.BytesOnDisk;
    }
    job.WriteBlock(h.data(), h.size(), h.size());
    cdSize += h.size();
  }

  // The end records with the comment, all on the last disk. Their size does not
  // depend on the disk they land on.
  const std::uint64_t total = count;
  job.EnsureRoom(spanrec::SetEndRecords(0, 0, total, total, cdSize, cdOffset, 0, comment).size());
  if (count == 0) {
    cdDisk = static_cast<std::uint32_t>(job.DiskNr);
    cdOffset = job.BytesOnDisk;
  }
  const std::string end = spanrec::SetEndRecords(static_cast<std::uint32_t>(job.DiskNr), cdDisk, total, total, cdSize,
                                                 cdOffset, job.BytesOnDisk, comment);
  job.WriteBlock(end.data(), end.size(), end.size());
  job.Commit();
  LastSpanVolume_ = job.diskDrive() ? job.path() : spanname::NumberedVolume(job.path(), job.DiskNr);
}
