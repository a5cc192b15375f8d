// Paths of the running program and of the folders it keeps its files in.
//
// The program folder holds the settings file, the favourites and the other data
// files. It is the executable's own folder when that folder is writable (a portable
// install); otherwise the per-user folder $XDG_CONFIG_HOME/kelvory/ (default
// ~/.config/kelvory/). The environment variable KELVORY_HOME overrides both, which
// is how tests keep away from a real user's files. All paths are UTF-8 and use the
// native separator "/".
#pragma once

#include <string>

namespace platform {

inline constexpr char kSeparator = '/';

// Full path of the running executable (from /proc/self/exe); empty if unknown.
std::string executablePath();

// The program folder described above, with a trailing separator. Created when it
// does not exist yet (failure to create it is not reported here: the first write of
// a file into it reports the error).
std::string programFolder();

// The user's home folder ($HOME, else the password database), no trailing separator.
std::string homeFolder();

// The system temporary folder ($TMPDIR, else /tmp), no trailing separator.
std::string tempFolder();

// Turns every "\" into the native separator; used where a stored name or a typed
// path may still carry the other separator.
std::string toNativeSeparators(std::string path);

// Simple file-system questions; none of them throws.
bool fileExists(const std::string& path);       // a regular file (symlinks followed)
bool directoryExists(const std::string& path);  // a folder (symlinks followed)
bool isWritableDirectory(const std::string& path);

// The process's file-creation mask (022 and the like), for files made under a
// temporary mode and given a new file's mode when they are kept.
unsigned currentUmask();

// The extension of a file name including its dot (".zip"), or empty.
std::string extensionOf(const std::string& path);
// The kind of a file as the program tells archives apart: the three characters
// after the first "." of its name, in lower case ("zip" for "Report.ZIP",
// "tar" for "a.tar.gz"); empty without a dot.
std::string firstDotExtension(const std::string& path);
// The name after the last separator ("/" or "\").
std::string fileNameOf(const std::string& path);
// Everything before the last separator ("/" or "\"), without it; empty when none.
std::string folderOf(const std::string& path);
// The text with ASCII letters in lower or upper case (other bytes unchanged), for
// comparing extensions and names the way the program's rules do.
std::string lowerAscii(std::string text);
std::string upperAscii(std::string text);

// An absolute, lexically normalised form of the path (no file-system access).
std::string absolutePath(const std::string& path);

}  // namespace platform
