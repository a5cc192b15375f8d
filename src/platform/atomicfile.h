// Writing a whole file so that readers see either the old or the new contents.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes data to a temporary file beside path, flushes it to disk and renames it
// over path. Keeps the old file's permission bits. Refuses (returns false) when the
// target exists and is not writable, so a read-only file stays read-only in effect.
// On failure nothing at path changes and error (when given) says why.
bool writeFileAtomically(const std::string& path, std::string_view data, std::string* error = nullptr);

// Whether writeFileAtomically could replace path (the same checks, nothing written).
bool canReplaceFile(const std::string& path, std::string* error = nullptr);

// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

}  // namespace platform
