// Whole-file reads and atomic whole-file replacement.
//
// Writers never touch the destination directly: the complete content goes to "<path>.tmp",
// which is then moved over the destination (replace-existing). A failure at any step leaves
// the old file as it was; a temporary file left by a failed write is harmless.
#pragma once
#include <string>
#include <string_view>

namespace kvr::platform {

enum class ReplaceStatus {
  kOk,
  kCannotOpen,    // the temporary file could not be created
  kWriteFailed,   // writing or closing the temporary file failed
  kRenameFailed,  // the temporary file could not be moved over the destination
};

// path is UTF-8. Reads the whole file in binary mode; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes data to path + ".tmp", closes it, then replaces path with it.
ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data);

}  // namespace kvr::platform
