// The disks or volume files of one spanned set while the engine writes or reads
// it: the drive, the disk prompts, and the volume being written.
//
// On a fixed, network or RAM drive every volume is a file of its own beside the
// others (spannames.h) and nobody is asked for anything. On a removable or
// optical drive every volume is a disk holding the set's file under the same
// name, labelled "PKBACK# " and its number (001 for the first); the user is asked
// to put in each disk. Questions go through the Ui seam; failures are raised as
// EZipEngine, which the engine's spanning operations catch.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/uniquefd.h"
#include "zipcore/inputfile.h"
#include "zipengine/spannames.h"

class TZipEngine;

class SpanJob {
 public:
  // path: the set's file (for writing, the archive name the volumes are named
  // after). Takes its drive; raises "Not a valid drive" or "Drive is NOT defined".
  SpanJob(TZipEngine& engine, const std::string& path);
  // Closes what is open; volume files written under temporary names that were
  // not committed are removed.
  ~SpanJob();
  SpanJob(const SpanJob&) = delete;
  SpanJob& operator=(const SpanJob&) = delete;

  // The set lives on disks that are swapped in the drive (removable or optical).
  bool diskDrive() const { return diskDrive_; }
  const std::string& path() const { return path_; }

  // Is a readable disk in the drive? Also takes its label and its free and total
  // space.
  bool DriveCheck();
  // Prompts until a disk is in the drive (a new one when newDisk is set); never
  // prompts on a fixed or network drive. Returns the drive's type.
  platform::DriveType RequestDisk();

  // ---- reading ---------------------------------------------------------------------
  // Volume names of a set on a fixed drive (set by the reader once it knows them).
  std::optional<spanname::SetNames> names;
  // Name of volume n as the reader reaches it.
  std::string VolumeName(int n) const;
  // Makes volume n reachable (asking for its disk until the disk labelled with its
  // number is in) and opens it. A volume file that is missing raises the
  // missing-volume message with its name.
  const zipcore::InputFile& OpenForReading(int n);

  // ---- writing ---------------------------------------------------------------------
  // Writes len bytes to the set. need is the room the piece must find on one disk
  // (0: it may be split over disks); a piece that does not fit the rest of the
  // current disk starts the next one.
  void WriteBlock(const void* data, std::size_t len, std::uint64_t need);
  // Copies len bytes of the file fd from offset at to the set, split over disks
  // like data; an input that ends early raises messageId.
  void CopyFrom(int fd, std::uint64_t at, std::uint64_t len, int messageId);
  // Makes sure the current disk has need bytes left, starting the next disk if
  // not; afterwards DiskNr and BytesOnDisk tell where the next byte goes.
  void EnsureRoom(std::uint64_t need);
  // Closes the volume being written (with the set's date).
  void CloseVolume();
  // Gives the volume files written under temporary names their final names.
  void Commit();

  // ---- state -----------------------------------------------------------------------
  int DiskNr = 0;         // current disk, from 0; -1 while the last disk is wanted
  int LastDisk = 0;       // number of the last disk, when known
  bool NewDisk = true;    // another disk is wanted
  bool Progress = false;  // report written bytes as ptFileProgress
  std::uint64_t InputSize = 0;
  std::int64_t SetDate = 0;  // modification time (Unix seconds) stamped on every volume
  std::uint64_t BytesOnDisk = 0;
  std::string VolumeLabel;
  std::string DriveRoot;  // with a trailing "/"

 private:
  void OpenNextVolume();
  // Closes the volume and wants the next disk.
  void NextVolume();
  // Puts len bytes on the set through write(n), which writes the next n bytes at
  // the end of the open volume, in pieces of at most piece bytes, starting new
  // volumes as the disks fill; need as for WriteBlock.
  void Put(std::uint64_t len, std::uint64_t need, std::uint64_t piece, const std::function<void(std::uint64_t)>& write);
  bool ConfirmOverwrite(const std::string& volume);
  std::string WriteName(const std::string& volume) const;
  [[noreturn]] void Raise(int id) const;

  TZipEngine& engine_;
  std::string path_;
  std::string root_;  // mount point as the drives layer gives it
  bool diskDrive_ = false;
  std::uint64_t freeSpace_ = 0, totalSpace_ = 0;
  std::uint64_t usable_ = 0;  // room left on the volume being written

  zipcore::InputFile in_;
  int inDisk_ = -2;
  platform::UniqueFd out_;
  std::string outName_;  // what is written now (a temporary name on a fixed drive)
  struct Written {
    std::string temp, final;
  };
  std::vector<Written> written_;  // fixed drive: volumes waiting for Commit
  bool committed_ = false;
};

// A set on a fixed drive as found from one of its volumes.
struct FixedSpanSet {
  spanname::SetNames names;
  int last = 0;          // number of the last volume (from 0)
  std::string lastPath;  // the last volume, which holds the directory
};
// The set path is a volume of: given the last volume (its end record names a disk
// other than 0) or a first or middle one (no end record, and the naming's first
// volume begins with the spanning marker). nullopt for a plain archive or a name
// that follows no naming. A volume of the set that is missing, or a last volume
// without its end record, raises the missing-volume or damaged-volume message
// with its name. Without requireAll only the volumes needed to find the last one
// must be there (a set whose directory lies on its last volume lists without the
// others), and a last volume whose first one is missing gives nullopt.
std::optional<FixedSpanSet> ResolveFixedSet(const std::string& path, bool requireAll = true);

// "PKBACK# nnn": the number in a volume label, 0 when it carries none.
int SpanLabelNumber(const std::string& label);
// The label of disk n (0-based): "PKBACK# " and n + 1 in three digits.
std::string SpanLabel(int n);

// Runs the body of WriteSpan or ReadSpan: an engine error is reported and gives
// -7, running out of memory -8, anything else -9; 0 when the body returns.
// OnProgress gets ptBatchEnd on every path.
int RunSpanOperation(TZipEngine& engine, const std::function<void()>& body);
