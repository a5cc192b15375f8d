// Drive roots and kinds come from this machine's mounts; the simulated removable
// drive swaps disks, keeps their files and labels, and reports its own space.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drives.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

TEST(RealDrives, RootsAndKindsOfThisMachine) {
  RealDrives d;
  EXPECT_EQ(d.rootOf("/"), "/");
  EXPECT_NE(d.typeOf("/"), DriveType::NoRootDir);
  EXPECT_EQ(d.typeOf("/no/such/folder"), DriveType::NoRootDir);
  // /proc is its own mount of a virtual file system.
  EXPECT_EQ(d.rootOf("/proc/self/status"), "/proc");
  EXPECT_EQ(d.typeOf("/proc"), DriveType::Unknown);
  // A path that does not exist yet belongs to the mount of its nearest parent.
  EXPECT_EQ(d.rootOf("/proc/no/such/file"), "/proc");
  for (const auto& m : RealDrives::readMounts()) {
    if (m.fsType == "tmpfs") {
      EXPECT_EQ(d.typeOf(m.mountPoint), DriveType::RamDisk) << m.mountPoint;
      break;
    }
  }
  ASSERT_TRUE(d.freeSpace("/"));
  ASSERT_TRUE(d.totalSpace("/"));
  EXPECT_LE(*d.freeSpace("/"), *d.totalSpace("/"));
  EXPECT_TRUE(d.labelOf("/"));
  EXPECT_FALSE(d.labelOf("/no/such/folder"));
  EXPECT_EQ(d.roots().front(), "/");
}

TEST(RealDrives, ClassifiesMountKinds) {
  EXPECT_EQ(RealDrives::classify({"/mnt/n", "nfs4", "srv:/x"}), DriveType::Remote);
  EXPECT_EQ(RealDrives::classify({"/mnt/c", "cifs", "//srv/x"}), DriveType::Remote);
  EXPECT_EQ(RealDrives::classify({"/media/cd", "iso9660", "/dev/sr0"}), DriveType::CDRom);
  EXPECT_EQ(RealDrives::classify({"/run", "tmpfs", "tmpfs"}), DriveType::RamDisk);
  EXPECT_EQ(RealDrives::classify({"/", "overlay", "overlay"}), DriveType::Fixed);
  EXPECT_EQ(RealDrives::classify({"/sys", "sysfs", "sysfs"}), DriveType::Unknown);
}

TEST(SimulatedDrives, DisksSwapAndKeepTheirFiles) {
  TempDir t;
  SimulatedDrives sim(drives());
  std::string a = t / "floppy";
  sim.addRemovableDrive(a);
  EXPECT_EQ(sim.typeOf(a), DriveType::Removable);
  EXPECT_FALSE(sim.labelOf(a)) << "no disk inserted: the volume cannot be read";
  int d0 = sim.addDisk(a, "PKBACK# 001", 1000);
  int d1 = sim.addDisk(a, "PKBACK# 002", 2000);
  ASSERT_TRUE(sim.insertDisk(a, d0));
  EXPECT_EQ(sim.labelOf(a), "PKBACK# 001");
  t.write("floppy/part.zip", std::string(300, 'x'));
  EXPECT_EQ(sim.freeSpace(a), 700u);
  EXPECT_EQ(sim.totalSpace(a), 1000u);
  ASSERT_TRUE(sim.insertDisk(a, d1));
  EXPECT_EQ(sim.labelOf(a), "PKBACK# 002");
  EXPECT_FALSE(fileExists(a + "/part.zip"));
  EXPECT_EQ(sim.freeSpace(a), 2000u);
  ASSERT_TRUE(sim.setLabel(a, "NEW"));
  ASSERT_TRUE(sim.insertDisk(a, d0));
  EXPECT_TRUE(fileExists(a + "/part.zip"));
  ASSERT_TRUE(sim.insertDisk(a, d1));
  EXPECT_EQ(sim.labelOf(a), "NEW");
  EXPECT_FALSE(sim.insertDisk(a, 5));
}

TEST(SimulatedDrives, RootOfPathsOnTheDriveAndElsewhere) {
  TempDir t;
  SimulatedDrives sim(drives());
  std::string a = t / "drv";
  sim.addRemovableDrive(a);
  sim.insertDisk(a, sim.addDisk(a, "L", 10));
  std::string canon = std::filesystem::canonical(a).string();
  EXPECT_EQ(sim.rootOf(a + "/sub/file.zip"), canon);
  EXPECT_EQ(sim.rootOf("/proc/self"), "/proc");
  setDrives(&sim);
  EXPECT_EQ(drives().typeOf(a), DriveType::Removable);
  setDrives(nullptr);
  auto roots = sim.roots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), canon), roots.end());
}
