// TRAR: lists, tests and extracts RAR archives through the RAR library
// (libkvrar.so, loaded at run time). It never writes archives.
//
// The owner sets the properties, calls List, Extract or Test and hears about
// every entry and every problem through the events; nothing throws. Errors are
// the library's result codes (ErrorText gives their texts) and 50 when the
// library is missing or incomplete.
//
// One operation at a time in the whole process: the library's callbacks reach
// the component through the operation that is running, and an operation
// started while another runs (from an event handler, say) does nothing and
// returns false. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "platform/dynlib.h"
#include "rarlib/kvrar.h"

// An archive or entry comment: its size (with the closing NUL) and text.
struct TComment {
  std::uint32_t Size = 0;
  char Text[65536] = {};
};

class TRAR {
 public:
  static constexpr int kLibraryMissing = 50;

  using TProcessDataProcN =
      std::function<int(TRAR& sender, const unsigned char* Addr, int BlockSize, std::int64_t Position)>;
  using TChangeVolProcN = std::function<int(TRAR& sender, char* ArcName, int Mode)>;
  using TErrorProc = std::function<void(TRAR& sender, int Error)>;
  using TCommentProc = std::function<void(TRAR& sender, const TComment& Comment)>;
  using TListFileProc = std::function<void(TRAR& sender, const RARHeaderData& ListedFile)>;
  using TFileBeingExtracted = std::function<void(TRAR& sender, const RARHeaderData& eFile)>;
  using TFileExtracted = std::function<void(TRAR& sender, const RARHeaderData& eFile, bool Result)>;
  using TFileBeingTested = TFileBeingExtracted;
  using TFileTested = TFileExtracted;
  // Asked before an encrypted entry is tested or extracted, and once per
  // operation for an archive whose headers are encrypted (before its first
  // entry; eFile then names the archive). An empty answer gives none.
  using TReqPassword = std::function<void(TRAR& sender, const RARHeaderData& eFile, std::string& Password)>;

  // Loads the library: from dllDirectory when given, else from the program's own
  // folder, else by its bare name.
  explicit TRAR(const std::string& dllDirectory = {});
  ~TRAR();
  TRAR(const TRAR&) = delete;
  TRAR& operator=(const TRAR&) = delete;

  std::string ArchiveName;               // any volume of a set
  std::set<std::string> FilesToExtract;  // stored names; empty: all
  std::set<std::string> FilesToTest;     // stored names; empty: all
  std::string TargetDir;                 // empty: the library's current folder
  bool Stop = false;                     // set by the owner; the operation clears it
  bool ExtractWithPaths = true;          // false: every file lands in TargetDir itself
  bool Overwrite = true;                 // false: existing files are kept (code 27 for them)

  // The library was loaded and has all seven entry points.
  bool LoadedDLL() const { return loaded_; }
  // The last operation ended because Stop was set.
  bool Stopped() const { return stopped_; }
  // Bytes of the current file unpacked so far.
  std::int64_t ProcessedBytes() const { return processedBytes_; }

  // A block of the entry being extracted or tested was unpacked (BlockSize 0: the
  // decoder is still working); Position is the file's total so far. An answer
  // below 0 stops the entry.
  TProcessDataProcN OnProcessData;
  TChangeVolProcN OnVolumeChange;
  TErrorProc OnError;
  TCommentProc OnComment;
  TListFileProc OnListFile;
  TFileBeingExtracted OnExtracting;
  TFileExtracted OnExtract;
  TFileBeingTested OnTesting;
  TFileTested OnTested;
  TReqPassword OnReqPassword;

  void List();
  // True when every processed entry succeeded.
  bool Extract();
  bool Test();

  static std::string ErrorText(int code);
  // The library's file name on this platform.
  static const char* LibraryFile();

 private:
  bool run(bool extracting);
  void* open(int mode);
  void error(int code);
  bool begin();
  void end();
  static int volumeCallback(void* user, char* name, int mode);
  static int dataCallback(void* user, const unsigned char* block, int size);
  int readHeader(void* handle, RARHeaderData& header);

  platform::DynLib lib_;
  bool loaded_ = false;
  RAROpenArchiveProc open_ = nullptr;
  RARCloseArchiveProc close_ = nullptr;
  RARReadHeaderProc readHeader_ = nullptr;
  RARProcessFileProc processFile_ = nullptr;
  RARSetChangeVolProcProc setChangeVolProc_ = nullptr;
  RARSetProcessDataProcProc setProcessDataProc_ = nullptr;
  RARSetPasswordProc setPassword_ = nullptr;

  TComment comment_;
  std::int64_t processedBytes_ = 0;
  bool stopped_ = false;
  // An archive with encrypted headers: the password that opened them, kept for
  // later operations on the same archive.
  std::string headerPassword_;
  std::string headerPasswordFor_;
  bool headersEncrypted_ = false;  // in the running operation
};
