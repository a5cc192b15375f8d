// TZipEngine: the non-visual ZIP archive component. It reads an archive's
// directory (List) into ZipDirEntry records and publishes the archive-level values
// that the windows use, and it drives the compressor and extractor libraries for
// Add, Delete and Extract (which also tests): it turns its properties into one
// parameter block per call, relays the libraries' callbacks as events and re-reads
// the directory after a change. It reports through the events OnDirUpdate,
// OnMessage and OnProgress and shows boxes only through the Ui seam (never when
// Unattended is set).
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

#include "zipcore/directory.h"
#include "zipcore/inputfile.h"
#include "zipcore/names.h"
#include "zipengine/zipdirentry.h"
#include "zipengine/zipmessages.h"
#include "zipengine/zipoptions.h"

struct BlockRequest;
struct ZipCallbackRecord;
enum class ZipLibRole : int;

enum ProgressType {
  ptFileBegin = 0,
  ptFileProgress = 1,
  ptBatchEnd = 2,
  ptTotalFiles = 3,
  ptTotalSize = 4,
  ptCollecting = 5  // the files to add are being looked for: Filename = a folder, FileSize = files found
};

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
  using TProgressEvent = std::function<void(TZipEngine& Sender, ProgressType ProgrType, const std::string& Filename,
                                            std::int64_t FileSize)>;
  using EntryList = std::vector<std::unique_ptr<ZipDirEntry>>;

  TZipEngine();
  ~TZipEngine();
  TZipEngine(const TZipEngine&) = delete;
  TZipEngine& operator=(const TZipEngine&) = delete;

  // ---- published properties -----------------------------------------------------
  // The archive (UTF-8 path). Assigning it runs List at once, even for the same name.
  void setZipFilename(const std::string& name);
  const std::string& ZipFilename() const { return ZipFilename_; }

  // Conversion of stored names and comments (see zipcore/names.h). Read by List.
  CodePageOpts CodePage = cpAuto;
  // No message boxes at all; messages still reach OnMessage.
  bool Unattended = false;
  // A number the owner keeps with the engine (the main window: the spanning mode
  // chosen for a new archive, 0 none, 1 with formatting, 2 without).
  int Tag = 0;

  // ---- published properties of the operations ----------------------------------
  // The libraries report every step as a message (code 0).
  bool Verbose = false;
  // The libraries trace (which also turns their verbose reports on), and loading a
  // library is announced.
  bool Trace = false;
  // Compression level handed to the compressor: 0 (store) .. 9 (smallest).
  int AddCompLevel = 9;
  AddOpts AddOptions;
  // Folder to extract into; when it is an existing folder it is the current folder
  // during the extraction (and the previous one is restored afterwards). A name
  // of a folder that does not exist yet is created first.
  std::string ExtrBaseDir;
  ExtrOpts ExtrOptions;
  SFXOpts SFXOptions{SFXCheckSize};
  // Files, folders or wildcards to add; entry names or wildcards to extract, test
  // or delete (empty: every entry for Extract). Emptied after every call that
  // reached a library, successful or not.
  std::vector<std::string> FSpecArgs;
  // Every entry of FSpecArgs is a plain name that matches only itself: "*" and "?"
  // are characters like any other. Set it for names taken from the listing or a
  // list of files, leave it off for patterns the user typed. Add, Delete and
  // Extract clear it when they return (unless they returned at once because an
  // operation of their kind was running).
  bool FSpecArgsLiteral = false;
  // Handed to the libraries, which take at most its first 80 bytes.
  std::string Password;
  // Password is a password even when it is empty (an archive may be encrypted
  // with the empty password). A non-empty Password is always one; an empty one
  // without this flag means that no password is known.
  bool PasswordGiven = false;
  std::string SFXPath;
  // Folder of the libraries; a trailing "/" is removed on assignment. Empty: the
  // program's own folder, then the system's library search.
  void setDLLDirectory(const std::string& folder);
  const std::string& DLLDirectory() const { return DLLDirectory_; }
  OvrOpts SFXOverWriteMode = OvrConfirm;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXDefaultDir;
  std::string SFXCommandLine;
  // Folder for temporary files; empty means the system's temporary folder.
  std::string TempDir;
  // Spanned sets: bytes left free on the first disk, the largest volume (0: no
  // limit), the least usable space of a disk, and whether each formatting is
  // confirmed.
  std::int64_t KeepFreeOnDisk1 = 0;
  std::int64_t MaxVolumeSize = 0;
  std::int64_t MinFreeVolumeSize = 65536;
  bool ConfirmErase = true;
  // How the engine deletes files itself: htdAllowUndo moves them to the trash.
  DeleteOpts HowToDelete = htdAllowUndo;

  // The directory was (re)read; raised at the end of every List, also when the
  // archive is missing or could not be read.
  TNotifyEvent OnDirUpdate;
  // A message or error. ErrCode is 0 for the engine's own texts and for the
  // libraries' information; otherwise the library's full error code.
  TMessageEvent OnMessage;
  // Progress of an operation: ptTotalFiles (FileSize = count), ptTotalSize (bytes
  // of the batch), ptFileBegin (Filename and its size), ptFileProgress (bytes just
  // processed), ptBatchEnd; ptCollecting while the files to add are looked for
  // (Filename the folder being read, FileSize the files found so far).
  TProgressEvent OnProgress;

  // ---- operations ---------------------------------------------------------------------
  // Each returns at once, changing nothing, while an operation of its kind runs
  // (Add and Delete share ZipBusy, Extract has UnzipBusy); a call from an event
  // handler of a running operation therefore does nothing. Results: SuccessCount,
  // and the messages (box unless Unattended, OnMessage, LastErrorCode and
  // LastMessage).

  // Adds FSpecArgs to ZipFilename with the compressor, then re-reads the
  // directory when something was added. Checks, in this order: files given, an
  // archive named, a password when Unattended asks for encryption, and the
  // spanning options.
  void Add();
  // Deletes the entries FSpecArgs names from the existing archive ZipFilename, then
  // re-reads the directory when something was deleted.
  void Delete();
  // Extracts the entries FSpecArgs names (all when empty) into ExtrBaseDir, or
  // tests them with ExtrTest in ExtrOptions. The directory is not re-read.
  void Extract();

  // ---- self-extracting programs (zipsfx.cpp) -------------------------------------
  // ConvertSFX makes ZipFilename (a ".zip", any case) into a self-extracting
  // program of the same name with ".exe": the stub (SFXPath, else "kvsfx" beside
  // this program, in /usr/local/lib/kelvory, /usr/lib/kelvory, then in
  // DLLDirectory; the one found is stored in SFXPath), the settings block of
  // SFXCaption, SFXDefaultDir, SFXCommandLine, SFXOptions and SFXOverWriteMode,
  // and the ZIP data with every stored offset moved. ConvertZIP makes a program
  // (".exe", ContentStart > 0) into a plain archive ".zip" again. The new file is
  // written beside and named only when complete and of the expected length; then
  // an old file of that name and the input are deleted by HowToDelete and
  // ZipFilename names the new file (which lists it). CancelRequested, set while
  // the copy pumps, stops it. Results: 0 done; -1 the output cannot be created;
  // -2 a write failed; -3 the stub cannot be opened, the input is of the wrong
  // kind, or its records are damaged; -9 anything else (no input, texts too long,
  // no stub, not a ".zip", a wrong final length, cancelled). A failure leaves the
  // input untouched and no output; LastMessage says why.
  int ConvertSFX();
  int ConvertZIP();
  // The settings block's option byte for options and mode.
  static std::uint8_t SfxOptionByte(SFXOpts options, OvrOpts mode);

  // The compressor's and the extractor's version numbers, or 0 after a loading
  // message. A library is loaded for the query and unloaded again unless it was
  // loaded before.
  int ZipVersion();
  int UnzipVersion();

  // The archive password prompt: "Password required" with one hidden field
  // "Password:", through the Ui; nullopt on Cancel. The engine asks it for
  // encrypted entries; the windows ask it for RAR ones too.
  static std::optional<std::string> AskPassword();
  // Prompts one Extract shows at most, however many entries need a password.
  static constexpr int kMaxPasswordPrompts = 3;

  // folder with a trailing "/" unless it already ends in one.
  static std::string AppendSlash(const std::string& folder);

  // A name for a temporary archive: unique, with prefix "zip", in TempDir (which
  // is given a trailing "/" if it lacks one, and keeps it) or in the system's
  // temporary folder when TempDir is empty. The empty file that reserved the name
  // is removed again. With Verbose, OnMessage gets "Temporary zipfile: " and the
  // name (code 0). Empty when the folder takes no new file.
  std::string TempZipName();

  // ---- spanned sets ------------------------------------------------------------------
  // Cuts the finished archive inFile into a spanned set named after outFile. On a
  // fixed, network or RAM drive the volumes are files named with their number
  // (from 001) in front of the extension ("set.zip" gives set001.zip, set002.zip,
  // ...), written under temporary names and renamed only when the whole set is
  // written; on a removable drive every volume is a disk holding outFile, labelled
  // "PKBACK# nnn", and the user is asked for each disk. Volumes take the disk's
  // free space, at most MaxVolumeSize, on the first disk KeepFreeOnDisk1 less; a
  // disk with less than MinFreeVolumeSize is refused. Returns 0 on success; -7
  // after an engine error, -8 when memory ran out, -9 after any other failure
  // (each reported through the message routine).
  int WriteSpan(const std::string& inFile, const std::string& outFile);
  // Joins the set setName belongs to into one archive. On a fixed drive any
  // volume's name will do (the numbered naming and the "name.z01" ... "name.zip"
  // one); on a removable drive the last disk is asked for first. outName names a
  // folder (a new uniquely named archive is made there) or a file; either way the
  // extension becomes ".zip" and the full name of the archive is returned in
  // outName. The archive appears under that name only when complete (an existing
  // file of that name is deleted by HowToDelete then). Results as WriteSpan.
  int ReadSpan(const std::string& setName, std::string& outName);

  // ---- run-time values ----------------------------------------------------------------
  // Set by the owner (from an event handler or a Cancel button) to stop the running
  // operation at the library's next callback; cleared when an operation starts
  // and when it ends.
  bool CancelRequested = false;
  // The library's result: files added, deleted, extracted or tested good; 0 after
  // a failure.
  int SuccessCount() const { return SuccessCount_; }
  // The full error code of the library's last problem message.
  std::uint32_t FullErrorCode() const { return FullErrorCode_; }
  bool ZipBusy() const { return ZipBusy_; }
  bool UnzipBusy() const { return UnzipBusy_; }
  // Bytes of the running batch, as the library announced them.
  std::int64_t BatchTotalSize() const { return BatchTotalSize_; }

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
  const zipcore::EocdRecord& EocdImage() const { return End_.record; }
  // The ZIP64 end record, when the archive has one.
  const std::optional<zipcore::Zip64EndRecord>& Zip64End() const { return End_.zip64; }

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
  // ConvertSFX; creating writes an empty program named ZipFilename for Add.
  int ConvertSfx(bool creating);
  int CopyForConversion(const std::string& stubFile, std::string_view block, int fd, const std::string& output);
  bool FindSfxStub();
  // Deletes a file by HowToDelete.
  bool DiscardFile(const std::string& path);
  bool HasPassword() const { return PasswordGiven || !Password.empty(); }
  void AddChecked();
  void DeleteChecked();
  // Loads the compressor when needed and runs it on FSpecArgs: adding, or with
  // deleting set, deleting entries.
  void RunCompressor(bool deleting, const std::string& archive);
  void ExtractChecked();
  // Calls the loaded library of role with a block of the layout its version asks
  // for; SuccessCount takes its result.
  void ExecLibrary(ZipLibRole role, BlockRequest& request);
  bool LoadLib(ZipLibRole role, bool& loadedHere);
  void UnloadLib(ZipLibRole role);
  int LibVersion(ZipLibRole role);
  static std::uint32_t CallbackEntry(ZipCallbackRecord* record);
  std::uint32_t LibCallback(ZipCallbackRecord& record) noexcept;
  // Answers a library's password request by asking the user (never when
  // Unattended, at most kMaxPasswordPrompts times per call).
  std::uint32_t AnswerPassword(ZipCallbackRecord& record);
  void RaiseProgress(ProgressType type, const std::string& name, std::int64_t size);
  void RaiseDirUpdate();
  void CheckArchiveDrive();
  void ReadDirectory();
  // List of a spanned set: a volume of a set on a fixed drive that lacks the
  // directory makes ZipFilename the set's last volume; the directory is then read
  // across the volumes (ReadSetDirectory).
  void ResolveSetVolume();
  void ReadSetDirectory();
  void WriteSpanChecked(const std::string& inFile, const std::string& outFile);
  // keep: the joined archive is the caller's to keep (not Extract's temporary).
  void ReadSpanChecked(const std::string& setName, std::string& outName, bool keep);
  // Add with spanning: the compressor writes a temporary archive that WriteSpan cuts.
  void AddSpanned();
  std::unique_ptr<ZipDirEntry> MakeDirEntry(zipcore::ZipEntry&& e) const;
  void ReadArchiveComment(std::string_view commentBytes);
  std::string LastSpanVolume_;  // the volume holding the directory of the set WriteSpan wrote last

  std::string ZipFilename_;
  EntryList Entries_;
  std::string ArchiveComment_;
  std::uint64_t ContentStart_ = 0;
  std::uint64_t DirEndOffset_ = 0;
  std::uint64_t FileSize_ = 0;
  std::uint64_t CentralDirOffset_ = 0;  // real
  std::uint64_t CentralDirSize_ = 0;
  bool SpannedSet_ = false;
  bool SpanMarker_ = false;  // the file begins with the spanning marker
  bool StructureError_ = false;
  int CurrentDisk_ = 0;
  int LastDisk_ = 0;
  int CentralDirDisk_ = 0;
  int LabelDiskNr_ = 0;
  std::string VolumeLabel_;
  std::string DriveRoot_;
  zipcore::EndRecords End_;  // as the last end-record search found them
  zipcore::InputFile InFile_;

  int LastErrorCode_ = 0;
  std::string LastMessage_;

  std::string DLLDirectory_;
  int SuccessCount_ = 0;
  std::uint32_t FullErrorCode_ = 0;
  std::int64_t BatchTotalSize_ = 0;
  bool ZipBusy_ = false;
  bool UnzipBusy_ = false;
  bool CallbackFailed_ = false;  // an event handler threw during the library call
  int PasswordPrompts_ = 0;      // shown during the library call
};
