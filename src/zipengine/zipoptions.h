// The option sets of TZipEngine and the small set type that holds them.
//
// Each enumeration lists its members in bit order: member e is bit e of the set,
// so the set's value is the sum of 1 << e over its members (AddDirNames = 1,
// AddRecurseDirs = 2, AddMove = 4, AddFreshen = 8, AddUpdate = 16, ...). Owners
// that store or pass the sets as numbers rely on these values.
#pragma once

#include <cstdint>
#include <initializer_list>

enum AddOptsEnum {
  AddDirNames,       // keep the folder names of the added files
  AddRecurseDirs,    // add the contents of named folders, all levels down
  AddMove,           // delete the sources once the archive is written
  AddFreshen,        // replace only entries whose file is newer
  AddUpdate,         // add newer or missing files only (wins over AddFreshen)
  AddZipTime,        // give the archive its newest entry's time
  AddForceDOS,       // store MS-DOS 8.3 names
  AddHiddenFiles,    // include hidden files
  AddEncrypt,        // encrypt the new entries with Password
  AddSeparateDirs,   // store folders as entries of their own
  AddDiskSpan,       // write a spanned set
  AddDiskSpanErase,  // write a spanned set, formatting removable disks first
};
inline constexpr int kAddOptsCount = 12;

enum ExtrOptsEnum {
  ExtrDirNames,   // restore the stored folder names
  ExtrOverWrite,  // overwrite existing files
  ExtrFreshen,    // extract only files that exist and are older
  ExtrUpdate,     // extract newer or missing files only (wins over ExtrFreshen)
  ExtrTest,       // only test the entries
};
inline constexpr int kExtrOptsCount = 5;

enum SFXOptsEnum {
  SFXAskCmdLine,        // the program asks for its command line
  SFXAskFiles,          // the program lets the user pick the files
  SFXAutoRun,           // the program runs its command line after extracting
  SFXHideOverWriteBox,  // no overwrite question
  SFXCheckSize,         // the program checks its own size before extracting
};
inline constexpr int kSFXOptsCount = 5;

// What a self-extracting program does with files that exist.
enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };

// How the engine deletes files itself: for good, or into the trash.
enum DeleteOpts { htdFinal, htdAllowUndo };

// A set of the members of enumeration E (members 0 .. Count-1).
template <typename E, int Count>
class EnumSet {
  static_assert(Count > 0 && Count <= 32, "an EnumSet holds at most 32 members");

 public:
  static constexpr std::uint32_t kAllBits = Count == 32 ? 0xFFFFFFFFu : (1u << Count) - 1u;

  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E m : members) include(m);
  }
  // The set whose value is bits; bits beyond the last member are dropped.
  static constexpr EnumSet fromBits(std::uint32_t bits) {
    EnumSet s;
    s.bits_ = bits & kAllBits;
    return s;
  }

  constexpr std::uint32_t bits() const { return bits_; }
  constexpr bool contains(E m) const { return (bits_ & bit(m)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }

  constexpr EnumSet& include(E m) {
    bits_ |= bit(m);
    return *this;
  }
  constexpr EnumSet& exclude(E m) {
    bits_ &= ~bit(m);
    return *this;
  }
  constexpr EnumSet& operator+=(E m) { return include(m); }
  constexpr EnumSet& operator-=(E m) { return exclude(m); }
  friend constexpr EnumSet operator+(EnumSet s, E m) { return s.include(m); }
  friend constexpr EnumSet operator-(EnumSet s, E m) { return s.exclude(m); }
  friend constexpr EnumSet operator+(EnumSet a, EnumSet b) { return fromBits(a.bits_ | b.bits_); }
  friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint32_t bit(E m) {
    int i = static_cast<int>(m);
    return i >= 0 && i < Count ? 1u << i : 0u;
  }
  std::uint32_t bits_ = 0;
};

using AddOpts = EnumSet<AddOptsEnum, kAddOptsCount>;
using ExtrOpts = EnumSet<ExtrOptsEnum, kExtrOptsCount>;
using SFXOpts = EnumSet<SFXOptsEnum, kSFXOptsCount>;

static_assert(AddOpts{AddDirNames}.bits() == 1 && AddOpts{AddRecurseDirs}.bits() == 2 && AddOpts{AddMove}.bits() == 4 &&
                  AddOpts{AddUpdate}.bits() == 16 && AddOpts{AddZipTime}.bits() == 32 &&
                  AddOpts{AddForceDOS}.bits() == 64 && AddOpts{AddDiskSpan}.bits() == 1024 &&
                  AddOpts{AddDiskSpanErase}.bits() == 2048,
              "owners store the add options by these values");
static_assert(ExtrOpts{ExtrDirNames}.bits() == 1 && ExtrOpts{ExtrOverWrite}.bits() == 2 &&
                  ExtrOpts{ExtrTest}.bits() == 16,
              "owners store the extract options by these values");
