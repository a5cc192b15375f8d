// Records of spanned sets: central headers moved to another disk and offset, and
// the end records of a set.
#pragma once

#include <cstdint>
#include <string>

#include "zipcore/directory.h"

namespace spanrec {

// The central header of entry with its disk-number-start and local-header
// offset set to disk and offset (in the ZIP64 block where the header keeps its
// offset there, or gets one when the offset needs it). Raises nothing; false
// when the disk number does not fit 16 bits.
bool CentralHeaderAt(const zipcore::ZipEntry& entry, std::uint32_t disk, std::uint64_t offset, std::string& out);

// The end records of a set whose last disk is lastDisk and whose central
// directory starts on cdDisk at cdOffset: the ZIP64 end record and its locator
// (placed at recordOffset on the last disk) when a value needs them, then the end
// record with the comment.
std::string SetEndRecords(std::uint32_t lastDisk, std::uint32_t cdDisk, std::uint64_t entriesOnLastDisk,
                          std::uint64_t totalEntries, std::uint64_t cdSize, std::uint64_t cdOffset,
                          std::uint64_t recordOffset, const std::string& comment);

}  // namespace spanrec
