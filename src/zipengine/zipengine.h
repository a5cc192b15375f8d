// TZipEngine: the non-visual ZIP archive component. This part reads an archive's
// directory (List) into ZipDirEntry records and publishes the archive-level values
// that the windows and the other engine operations use; it reports through the
// events OnDirUpdate, OnMessage and OnProgress and shows boxes only through the Ui
// seam (never when Unattended is set).
//
// Not thread-safe: one engine is used by one thread (the user-interface thread).
// Operations never throw to their callers; failures are reported through the
// message routine, LastErrorCode and LastMessage.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zipengine/zipcharset.h"
#include "zipengine/zipdirentry.h"
#include "zipengine/zipformat.h"
#include "zipengine/zipinputfile.h"
#include "zipengine/zipmessages.h"

enum ProgressType { ptFileBegin = 0, ptFileProgress = 1, ptBatchEnd = 2, ptTotalFiles = 3, ptTotalSize = 4 };

// The engine's error: a text from the message table with its id, and whether the
// handler shows it in a box. Raised inside the engine and caught at the boundary of
// each operation.
class EZipEngine : public std::exception {
 public:
  // From an id alone: the table's text, not shown in a box.
  explicit EZipEngine(int messageId);
  // From an id and one argument filling the text's placeholder; shown in a box.
  EZipEngine(int messageId, int arg);
  EZipEngine(int messageId, const std::string& arg);
  // The table's text without argument, shown in a box.
  static EZipEngine Display(int messageId) { return EZipEngine(messageId, std::string()); }

  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
  int MessageId = 0;
  bool ShowBox = false;
};

class TZipEngine {
 public:
  using TNotifyEvent = std::function<void(TZipEngine& Sender)>;
  using TMessageEvent = std::function<void(TZipEngine& Sender, int ErrCode, const std::string& Message)>;
  using TProgressEvent = std::function<void(TZipEngine& Sender, ProgressType ProgrType,
                                            const std::string& Filename, std::int64_t FileSize)>;
  using EntryList = std::vector<std::unique_ptr<ZipDirEntry>>;

  TZipEngine();
  ~TZipEngine();
  TZipEngine(const TZipEngine&) = delete;
  TZipEngine& operator=(const TZipEngine&) = delete;

  // ---- published properties -----------------------------------------------------
  // The archive (UTF-8 path). Assigning it runs List at once, even for the same name.
  void setZipFilename(const std::string& name);
  const std::string& ZipFilename() const { return ZipFilename_; }

  // Conversion of stored names and comments (see zipcharset.h). Read by List.
  CodePageOpts CodePage = cpAuto;
  // No message boxes at all; messages still reach OnMessage.
  bool Unattended = false;
  // A number the owner keeps with the engine (the main window: the spanning mode
  // chosen for a new archive, 0 none, 1 with formatting, 2 without).
  int Tag = 0;

  // The directory was (re)read; raised at the end of every List, also when the
  // archive is missing or could not be read.
  TNotifyEvent OnDirUpdate;
  // A message or error: ErrCode is 0 for the engine's own texts.
  TMessageEvent OnMessage;
  // Progress of an operation (a file begins, bytes done, batch end, totals).
  TProgressEvent OnProgress;

  // ---- the directory ----------------------------------------------------------------
  // Reads the directory of ZipFilename into Entries, replacing them whole, then
  // raises OnDirUpdate. A missing file gives an empty directory without a message.
  // On a failure the message is shown (box unless Unattended, OnMessage,
  // LastErrorCode/LastMessage), ZipFilename is emptied (List does not run again)
  // and ContentStart becomes 0; entries read before the failure stay in Entries.
  void List();

  // Number of entries; 0 whenever ZipFilename is empty.
  int EntryCount() const;
  // The directory in central-directory order, owned by the engine. Valid until the
  // next List (which every ZipFilename assignment and every change runs).
  const EntryList& Entries() const { return Entries_; }

  // The archive comment, cut at its first NUL byte (UTF-8).
  const std::string& ArchiveComment() const { return ArchiveComment_; }
  // File offset of the first local header: the length of a program stub in front
  // of the ZIP data (0 for a plain archive). For an archive without entries, the
  // offset where its directory begins.
  std::uint64_t ContentStart() const { return ContentStart_; }
  // File offset of the end-of-central-directory record.
  std::uint64_t DirEndOffset() const { return DirEndOffset_; }
  // The file is part of a multi-disk set (its end record names a disk other than 0,
  // or it begins with the spanning marker).
  bool SpannedSet() const { return SpannedSet_; }
  // Disk numbers from the end record (0-based): the disk read now and the last disk.
  int CurrentDisk() const { return CurrentDisk_; }
  int LastDisk() const { return LastDisk_; }
  // Disk number in a volume label "PKBACK# nnn" of the archive's drive; 0 if none.
  int LabelDiskNumber() const { return LabelDiskNr_; }
  // Label of the volume holding the archive, and its root (mount point, with a
  // trailing "/").
  const std::string& VolumeLabel() const { return VolumeLabel_; }
  const std::string& DriveRoot() const { return DriveRoot_; }
  // The end record's stored directory offset differs from where the directory
  // really starts (bytes were added in front without adjusting the offsets).
  bool StructureError() const { return StructureError_; }
  // Where the central directory really starts, and its size in bytes.
  std::uint64_t CentralDirOffset() const { return CentralDirOffset_; }
  std::uint64_t CentralDirSize() const { return CentralDirSize_; }
  // Size of the archive up to the end of its comment (bytes after it are not
  // counted), as the last end-record search found it.
  std::uint64_t ArchiveFileSize() const { return FileSize_; }
  // The 22-byte end record as stored.
  const zipfmt::EocdRecord& EocdImage() const { return Eocd_; }
  // The ZIP64 end record, when the archive has one.
  const std::optional<zipfmt::Zip64EndRecord>& Zip64End() const { return Zip64End_; }

  // ---- messages -------------------------------------------------------------------
  // Message id (or library error code) and text of the last message.
  int LastErrorCode() const { return LastErrorCode_; }
  const std::string& LastMessage() const { return LastMessage_; }

  // The message routine: the table's text for messageId (or the missing-id text)
  // followed by extra becomes LastErrorCode/LastMessage, is shown in a warning box
  // with OK unless Unattended, and is passed to OnMessage with error code 0.
  void ShowZipMessage(int messageId, const std::string& extra = {});

  // Reports an engine error caught at an operation's boundary: a box when its
  // ShowBox is set and Unattended is not, OnMessage with code 0, and LastErrorCode
  // and LastMessage from it.
  void ReportEngineError(const EZipEngine& error);

  // ---- end-record locator -------------------------------------------------------------
  // Opens ZipFilename (kept open in InFile for the caller until CloseArchive) and
  // finds its end record: fills EocdImage, DirEndOffset, ArchiveComment,
  // ArchiveFileSize, SpannedSet, LabelDiskNumber and Zip64End. Shows the garbage
  // warning when bytes other than zero padding follow the record. Returns false when
  // no record was found; with reportErrors set it raises EZipEngine instead (the
  // backup-set texts, "This archive is not a valid Zip archive", "Input file does
  // not exist"); without it a file that cannot be opened shows "Zip file could not
  // be opened".
  bool LocateEocd(bool reportErrors);
  void CloseArchive() { InFile_.close(); }

 private:
  void RaiseDirUpdate();
  void CheckArchiveDrive();
  void ReadDirectory();
  void ReadCentralHeaders(std::string_view directory, std::uint64_t entryCount, std::uint64_t& lowestOffset);
  bool ReadTail(std::string& tail);
  void ReadArchiveComment(std::string_view commentBytes);
  void FindZip64End();
  // Brings disk `disk` of a multi-disk set into reach with the archive reopened on
  // it. Only the disk that holds the end record is reachable from here; other
  // volumes are for the spanning code to fetch, so this answers false for them.
  bool OpenSetDisk(int disk);

  std::string ZipFilename_;
  EntryList Entries_;
  std::string ArchiveComment_;
  std::uint64_t ContentStart_ = 0;
  std::uint64_t DirEndOffset_ = 0;
  std::uint64_t FileSize_ = 0;
  std::uint64_t CentralDirOffset_ = 0;     // real
  std::uint64_t CentralDirSize_ = 0;
  std::uint64_t StoredCentralDirOffset_ = 0;
  std::uint64_t TotalEntries_ = 0;
  std::uint64_t Zip64EndOffset_ = 0;       // where the ZIP64 end record really is
  bool SpannedSet_ = false;
  bool SpanMarker_ = false;                // the file begins with the spanning marker
  bool StructureError_ = false;
  int CurrentDisk_ = 0;
  int LastDisk_ = 0;
  int CentralDirDisk_ = 0;
  int LabelDiskNr_ = 0;
  std::string VolumeLabel_;
  std::string DriveRoot_;
  zipfmt::EocdRecord Eocd_;
  std::optional<zipfmt::Zip64EndRecord> Zip64End_;
  ZipInputFile InFile_;

  int LastErrorCode_ = 0;
  std::string LastMessage_;
};
