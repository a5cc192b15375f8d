// TFileOperation: copies, moves, renames or deletes one or several files and
// folders, with the user's confirmations through the Ui seam, a progress window with
// Cancel for long work, and the desktop trash for undoable deletion.
//
// What is safe here, whatever the flags say:
// - a file is copied under a temporary name in the target folder and renamed into
//   place only when complete: a cancel or an error never leaves a half-written
//   target and never destroys an existing target;
// - a move across file systems deletes each source file only after its copy is
//   complete and flushed to disk;
// - links are copied, moved and deleted as links, never followed;
// - copying or moving a folder into itself, or a file onto itself, is refused.
#pragma once

#include <QFlags>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace widgets {

class TCopyProgress;

enum TFileOp { foCopy, foDelete, foMove, foRename };

enum TFileOpFlag : unsigned {
  fofAllowUndo = 1u << 0,          // deletion moves to the trash
  fofConfirmMouse = 1u << 1,       // accepted for compatibility; nothing here is mouse-initiated
  fofFilesOnly = 1u << 2,          // wildcards match files only, not folders
  fofMultiDestFiles = 1u << 3,     // FilesTo names one full target per source, in order
  fofNoConfirmation = 1u << 4,     // answer Yes to every question
  fofNoConfirmMkDir = 1u << 5,     // create missing target folders without asking
  fofRenameOnCollision = 1u << 6,  // an existing target makes the copy "name (2).ext"
  fofSilent = 1u << 7,             // no progress window
  fofSimpleProgress = 1u << 8,     // progress window without file names
};
Q_DECLARE_FLAGS(TFileOpFlags, TFileOpFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFileOpFlags)

// Where a running operation is; handed to OnProgress and shown in the window.
struct TFileOpProgress {
  std::string CurrentFile;      // the source being worked on
  std::string Target;           // its target (empty when deleting)
  std::uint64_t BytesDone = 0;  // copying and moving: bytes so far of BytesTotal
  std::uint64_t BytesTotal = 0;
  std::uint64_t FilesDone = 0;  // entries finished (files, links and folders)
  std::uint64_t FilesTotal = 0;
};

class TFileOperation;
using TFileOpProgressEvent = std::function<void(TFileOperation* Sender, const TFileOpProgress& Progress, bool& Cancel)>;

class TFileOperation {
 public:
  // owner: the window the progress window belongs to (may be null).
  explicit TFileOperation(QWidget* owner = nullptr);
  ~TFileOperation();
  TFileOperation(const TFileOperation&) = delete;
  TFileOperation& operator=(const TFileOperation&) = delete;

  std::vector<std::string> About;  // descriptive text only
  // Sources separated by ";". The last part of a source may hold the wildcards "*"
  // and "?" (hidden names match too). Relative paths count from the current folder.
  std::string FilesFrom;
  // The destination. Copy and move: a folder to put the sources in (an existing
  // folder, a path ending in "/", or a new folder for several sources), or for a
  // single source without wildcards the target's full name. Rename: the new name
  // (a name without a folder stays in the source's folder). With fofMultiDestFiles,
  // one full target per source separated by ";".
  std::string FilesTo;
  TFileOpFlags Flags;
  TFileOp Operation = foCopy;
  std::string ProgressTitle;        // title of the progress window and of the boxes
  std::size_t BlockSize = 1 << 20;  // bytes copied between two progress reports
  // The progress window (unless fofSilent) appears after this long. While it shows,
  // events are processed through the pump hook; it is modal, so user input reaches
  // only its Cancel button. Without the window no events are processed.
  unsigned ProgressDelayMs = 500;
  // Called at every block and every entry; set Cancel to stop (as the window's
  // Cancel button does). Runs on the calling thread.
  TFileOpProgressEvent OnProgress;

  // Setting Active true runs the operation at once (its result is then in
  // LastResult()); Active() is true only while an operation runs.
  void setActive(bool on);
  bool Active() const { return running_; }

  // Runs the operation. True when everything asked for was done; false when
  // something failed (the user was told in an error box) or the user declined or
  // cancelled part of it (then OperationAborted() is true). A call made while an
  // operation runs (from a nested event) returns false at once.
  bool Execute();
  bool LastResult() const { return lastResult_; }
  // The user cancelled or declined part of the last operation.
  bool OperationAborted() const { return aborted_; }

  // The progress window while it is shown (tests click its Cancel button).
  TCopyProgress* progressWindow() const;

 private:
  class Run;
  friend class Run;
  QPointer<QWidget> owner_;
  bool running_ = false;
  bool lastResult_ = false;
  bool aborted_ = false;
  Run* run_ = nullptr;
};

}  // namespace widgets
