// Small routines every window uses: program paths, packed text fields, running
// other programs and formatting elapsed time. They keep no state.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Pieces of the running program's path. Mode 0: the root of the drive (mount point)
// the program folder lies on. Mode 1: the program folder with a trailing separator
// (see programFolder(): where the settings and data files live). Any other mode: the
// program's own file name.
std::string ProgramPath(int mode);

// The path with exactly one trailing separator; an empty path stays empty.
std::string AddBackslash(const std::string& path);

// The n-th (1-based) field of text split at delimiter; a field beyond the last one
// is empty. An empty delimiter gives the whole text as field 1.
std::string GetField(const std::string& text, int n, const std::string& delimiter);

// Replaces the first occurrence of searched in text by replacement, or with all set
// every occurrence. Always ends, also when the replacement contains the searched
// text (the search then resumes after each replacement).
void ReplaceText(const std::string& searched, std::string& text, const std::string& replacement, bool all);

// Runs program with parameters (joined by one blank). Without wait: true when the
// program started. With wait: true only when it started and ended with exit code 0.
// showState is accepted for compatibility with callers and not used here.
bool RunProgram(const std::string& program, const std::string& parameters, int showState, bool wait);

// Opens a document, folder or web address with the desktop's default application.
void ShellOpen(const std::string& path);

// Elapsed time between two millisecond ticks as "mm:ss" (minutes not capped).
std::string FormatElapsed(std::uint64_t startTick, std::uint64_t endTick);

}  // namespace platform
