#include "platform/drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/paths.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

RealDrives& realDrives() {
  static RealDrives real;
  return real;
}

Drives* g_current = nullptr;

// mountinfo escapes blanks and a few other characters as \ooo.
std::string unescapeOctal(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// /dev/disk/by-label escapes blanks and others as \xHH.
std::string unescapeHex(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      try {
        out.push_back(static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
        i += 3;
        continue;
      } catch (...) {}
    }
    out.push_back(s[i]);
  }
  return out;
}

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool isUnder(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path.front() == '/';
  return path == root ||
         (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

// The canonical path of the nearest existing ancestor, with the rest appended.
std::string canonicalForLookup(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path.empty() ? "." : path), ec).lexically_normal();
  fs::path tail;
  while (!p.empty()) {
    fs::path c = fs::canonical(p, ec);
    if (!ec) {
      std::string s = (c / tail).lexically_normal().string();
      if (s.size() > 1 && s.back() == '/') s.pop_back();
      return s;
    }
    if (p == p.root_path()) break;
    tail = p.filename() / tail;
    p = p.parent_path();
  }
  return "/";
}

// Whole-disk block device name for a partition ("sda1" -> "sda", "mmcblk0p1" -> "mmcblk0").
std::string parentBlockDevice(const std::string& dev) {
  std::error_code ec;
  fs::path sys = fs::path("/sys/class/block") / dev;
  if (fs::exists(sys / "partition", ec)) {
    fs::path real = fs::canonical(sys, ec);
    if (!ec) return real.parent_path().filename().string();
  }
  return dev;
}

std::string devNameOf(const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return {};
  std::error_code ec;
  fs::path real = fs::canonical(source, ec);
  return ec ? fs::path(source).filename().string() : real.filename().string();
}

}  // namespace

const char* driveTypeName(DriveType t) {
  switch (t) {
    case DriveType::Unknown: return "unknown";
    case DriveType::NoRootDir: return "no root";
    case DriveType::Removable: return "removable";
    case DriveType::Fixed: return "fixed";
    case DriveType::Remote: return "remote";
    case DriveType::CDRom: return "cdrom";
    case DriveType::RamDisk: return "ramdisk";
  }
  return "unknown";
}

Drives& drives() { return g_current ? *g_current : realDrives(); }

void setDrives(Drives* d) { g_current = d; }

// ---- real drives -------------------------------------------------------------

std::vector<RealDrives::Mount> RealDrives::readMounts() {
  std::vector<Mount> mounts;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ss(line);
    std::vector<std::string> f;
    std::string w;
    while (ss >> w) f.push_back(w);
    auto dash = std::find(f.begin(), f.end(), "-");
    if (f.size() < 5 || dash == f.end() || std::distance(dash, f.end()) < 3) continue;
    Mount m;
    m.mountPoint = unescapeOctal(f[4]);
    m.fsType = *(dash + 1);
    m.source = unescapeOctal(*(dash + 2));
    mounts.push_back(std::move(m));
  }
  return mounts;
}

DriveType RealDrives::classify(const Mount& m) {
  static const char* kRemote[] = {"nfs", "nfs4", "cifs", "smb3",      "smbfs",          "sshfs", "fuse.sshfs",
                                  "9p",  "afs",  "ceph", "glusterfs", "fuse.glusterfs", "davfs", "fuse.rclone"};
  static const char* kLocal[] = {"ext2", "ext3",  "ext4",    "xfs",     "btrfs", "zfs",      "f2fs",    "vfat", "exfat",
                                 "ntfs", "ntfs3", "fuseblk", "overlay", "jfs",   "reiserfs", "hfsplus", "msdos"};
  const std::string& t = m.fsType;
  for (const char* r : kRemote)
    if (t == r) return DriveType::Remote;
  if (t == "iso9660" || t == "udf") return DriveType::CDRom;
  if (t == "tmpfs" || t == "ramfs") return DriveType::RamDisk;
  std::string dev = devNameOf(m.source);
  if (!dev.empty()) {
    std::string disk = parentBlockDevice(dev);
    if (readFirstLine("/sys/block/" + disk + "/removable") == "1") return DriveType::Removable;
    std::error_code ec;
    std::string sysPath = fs::canonical(fs::path("/sys/block") / disk, ec).string();
    if (!ec && (sysPath.find("/usb") != std::string::npos || disk.rfind("mmcblk", 0) == 0)) return DriveType::Removable;
    if (disk.rfind("sr", 0) == 0) return DriveType::CDRom;
    return DriveType::Fixed;
  }
  for (const char* l : kLocal)
    if (t == l) return DriveType::Fixed;
  return DriveType::Unknown;
}

std::string RealDrives::rootOf(const std::string& path) {
  std::string p = canonicalForLookup(path);
  std::string best = "/";
  for (const auto& m : readMounts())
    if (isUnder(p, m.mountPoint) && m.mountPoint.size() > best.size()) best = m.mountPoint;
  return best;
}

DriveType RealDrives::typeOf(const std::string& root) {
  if (!directoryExists(root)) return DriveType::NoRootDir;
  std::string r = rootOf(root);
  std::optional<Mount> found;
  for (auto& m : readMounts())
    if (m.mountPoint == r) found = m;  // the last mount on a point is the visible one
  return found ? classify(*found) : DriveType::Unknown;
}

std::optional<std::string> RealDrives::labelOf(const std::string& root) {
  if (!directoryExists(root)) return std::nullopt;
  std::string r = canonicalForLookup(root);
  std::string source;
  for (const auto& m : readMounts())
    if (m.mountPoint == r) source = m.source;
  std::string dev = devNameOf(source);
  if (dev.empty()) return std::string();
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/dev/disk/by-label", ec)) {
    std::error_code ec2;
    fs::path target = fs::canonical(e.path(), ec2);
    if (!ec2 && target.filename().string() == dev) return unescapeHex(e.path().filename().string());
  }
  return std::string();
}

bool RealDrives::setLabel(const std::string&, const std::string&) {
  return false;  // relabelling a mounted file system needs privileges we do not ask for
}

std::optional<std::uint64_t> RealDrives::freeSpace(const std::string& root) {
  struct statvfs st {};
  if (::statvfs(root.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

std::optional<std::uint64_t> RealDrives::totalSpace(const std::string& root) {
  struct statvfs st {};
  if (::statvfs(root.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
}

std::vector<std::string> RealDrives::roots() {
  std::vector<std::string> out{"/"};
  for (const auto& m : readMounts()) {
    DriveType t = classify(m);
    if ((t == DriveType::Removable || t == DriveType::Remote || t == DriveType::CDRom) &&
        std::find(out.begin(), out.end(), m.mountPoint) == out.end())
      out.push_back(m.mountPoint);
  }
  return out;
}

// ---- simulated drives --------------------------------------------------------

SimulatedDrives::SimulatedDrives(Drives& base) : base_(base) {}
SimulatedDrives::~SimulatedDrives() = default;

SimulatedDrives::Drive* SimulatedDrives::find(const std::string& root) {
  auto it = drives_.find(canonicalForLookup(root));
  return it == drives_.end() ? nullptr : &it->second;
}

const SimulatedDrives::Drive* SimulatedDrives::find(const std::string& root) const {
  auto it = drives_.find(canonicalForLookup(root));
  return it == drives_.end() ? nullptr : &it->second;
}

void SimulatedDrives::addRemovableDrive(const std::string& root) {
  std::error_code ec;
  fs::create_directories(root, ec);
  drives_[canonicalForLookup(root)] = Drive{};
}

std::string SimulatedDrives::diskStore(const std::string& root, int disk) const {
  return canonicalForLookup(root) + ".disk" + std::to_string(disk);
}

int SimulatedDrives::addDisk(const std::string& root, const std::string& label, std::uint64_t capacity) {
  Drive* d = find(root);
  if (!d) return -1;
  d->disks.push_back(Disk{label, capacity});
  int n = static_cast<int>(d->disks.size()) - 1;
  std::error_code ec;
  fs::create_directories(diskStore(root, n), ec);
  return n;
}

bool SimulatedDrives::insertDisk(const std::string& root, int disk) {
  Drive* d = find(root);
  if (!d || disk < -1 || disk >= static_cast<int>(d->disks.size())) return false;
  if (disk == d->inserted) return true;
  std::string r = canonicalForLookup(root);
  std::error_code ec;
  if (d->inserted >= 0) {
    fs::rename(r, diskStore(root, d->inserted), ec);
    if (ec) return false;
  } else {
    fs::remove(r, ec);  // the empty drive folder
  }
  if (disk >= 0) {
    fs::rename(diskStore(root, disk), r, ec);
    if (ec) return false;
  } else {
    fs::create_directories(r, ec);
  }
  d->inserted = disk;
  return true;
}

int SimulatedDrives::insertedDisk(const std::string& root) const {
  const Drive* d = find(root);
  return d ? d->inserted : -1;
}

int SimulatedDrives::diskCount(const std::string& root) const {
  const Drive* d = find(root);
  return d ? static_cast<int>(d->disks.size()) : 0;
}

std::string SimulatedDrives::diskLabel(const std::string& root, int disk) const {
  const Drive* d = find(root);
  return d && disk >= 0 && disk < static_cast<int>(d->disks.size()) ? d->disks[disk].label : std::string();
}

std::string SimulatedDrives::rootOf(const std::string& path) {
  std::string p = canonicalForLookup(path);
  // A simulated drive's folder may be gone while its disk is swapped; match by text.
  std::string best;
  for (const auto& [root, drive] : drives_)
    if (isUnder(p, root) && root.size() > best.size()) best = root;
  return best.empty() ? base_.rootOf(path) : best;
}

DriveType SimulatedDrives::typeOf(const std::string& root) {
  return find(root) ? DriveType::Removable : base_.typeOf(root);
}

std::optional<std::string> SimulatedDrives::labelOf(const std::string& root) {
  Drive* d = find(root);
  if (!d) return base_.labelOf(root);
  if (d->inserted < 0) return std::nullopt;  // no medium
  return d->disks[d->inserted].label;
}

bool SimulatedDrives::setLabel(const std::string& root, const std::string& label) {
  Drive* d = find(root);
  if (!d) return base_.setLabel(root, label);
  if (d->inserted < 0) return false;
  d->disks[d->inserted].label = label;
  return true;
}

std::optional<std::uint64_t> SimulatedDrives::freeSpace(const std::string& root) {
  Drive* d = find(root);
  if (!d) return base_.freeSpace(root);
  if (d->inserted < 0) return std::nullopt;
  std::uint64_t used = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(canonicalForLookup(root), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ec2;
    if (it->is_regular_file(ec2)) used += it->file_size(ec2);
  }
  std::uint64_t cap = d->disks[d->inserted].capacity;
  return used >= cap ? 0 : cap - used;
}

std::optional<std::uint64_t> SimulatedDrives::totalSpace(const std::string& root) {
  Drive* d = find(root);
  if (!d) return base_.totalSpace(root);
  if (d->inserted < 0) return std::nullopt;
  return d->disks[d->inserted].capacity;
}

std::vector<std::string> SimulatedDrives::roots() {
  std::vector<std::string> out = base_.roots();
  for (const auto& [root, drive] : drives_) out.push_back(root);
  return out;
}

}  // namespace platform
