// Drives and volumes: the mount that holds a path, its kind, label and space.
//
// A "drive root" is the mount point that holds a path. The real implementation reads
// /proc/self/mountinfo, /sys/block and /dev/disk/by-label. Tests install a
// SimulatedDrives, which adds removable drives whose disks are plain folders with a
// capacity and a label; a test changes the disk in the drive when it answers a
// "next disk" prompt. Components reach the current implementation through drives().
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CDRom, RamDisk };

const char* driveTypeName(DriveType t);

class Drives {
 public:
  virtual ~Drives() = default;
  // The mount point holding path (the nearest existing parent counts for a path
  // that does not exist yet). Never empty: "/" at worst.
  virtual std::string rootOf(const std::string& path) = 0;
  virtual DriveType typeOf(const std::string& root) = 0;
  // The volume label; an empty text for a volume without one; nullopt when the
  // volume cannot be read (no medium, no such mount).
  virtual std::optional<std::string> labelOf(const std::string& root) = 0;
  // Sets the label where the file system allows; false otherwise.
  virtual bool setLabel(const std::string& root, const std::string& label) = 0;
  virtual std::optional<std::uint64_t> freeSpace(const std::string& root) = 0;
  virtual std::optional<std::uint64_t> totalSpace(const std::string& root) = 0;
  // The roots a user picks from: "/" and every removable, network or optical mount.
  virtual std::vector<std::string> roots() = 0;
};

// The implementation in use (the real one unless a test installed another).
Drives& drives();
// Installs d (not owned); nullptr goes back to the real drives.
void setDrives(Drives* d);

class RealDrives : public Drives {
 public:
  std::string rootOf(const std::string& path) override;
  DriveType typeOf(const std::string& root) override;
  std::optional<std::string> labelOf(const std::string& root) override;
  bool setLabel(const std::string& root, const std::string& label) override;
  std::optional<std::uint64_t> freeSpace(const std::string& root) override;
  std::optional<std::uint64_t> totalSpace(const std::string& root) override;
  std::vector<std::string> roots() override;

  struct Mount {
    std::string mountPoint, fsType, source;
  };
  static std::vector<Mount> readMounts();
  // Kind of a mount from its file-system type and source device.
  static DriveType classify(const Mount& m);
};

// Removable drives made of folders, laid over another Drives for everything else.
class SimulatedDrives : public Drives {
 public:
  explicit SimulatedDrives(Drives& base);
  ~SimulatedDrives() override;

  // Makes root (created when missing) a removable drive with no disk inserted.
  void addRemovableDrive(const std::string& root);
  // Adds a blank disk for the drive and returns its number (0, 1, ...).
  int addDisk(const std::string& root, const std::string& label, std::uint64_t capacity);
  // Puts disk number `disk` into the drive (-1 takes the disk out). The files of the
  // disk taken out are kept and come back when it is inserted again.
  bool insertDisk(const std::string& root, int disk);
  int insertedDisk(const std::string& root) const;
  int diskCount(const std::string& root) const;
  std::string diskLabel(const std::string& root, int disk) const;
  // Folder holding a disk's files while it is out of the drive.
  std::string diskStore(const std::string& root, int disk) const;

  std::string rootOf(const std::string& path) override;
  DriveType typeOf(const std::string& root) override;
  std::optional<std::string> labelOf(const std::string& root) override;
  bool setLabel(const std::string& root, const std::string& label) override;
  std::optional<std::uint64_t> freeSpace(const std::string& root) override;
  std::optional<std::uint64_t> totalSpace(const std::string& root) override;
  std::vector<std::string> roots() override;

 private:
  struct Disk {
    std::string label;
    std::uint64_t capacity = 0;
  };
  struct Drive {
    std::vector<Disk> disks;
    int inserted = -1;
  };
  Drive* find(const std::string& root);
  const Drive* find(const std::string& root) const;

  Drives& base_;
  std::map<std::string, Drive> drives_;
};

}  // namespace platform
