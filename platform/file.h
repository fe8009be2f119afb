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

enum class ReadStatus {
  kOk,
  kCannotOpen,  // missing, or not readable
  kReadFailed,  // reading failed, or no memory for the content
  kTooLarge,    // longer than the caller's limit; nothing is kept
};

// path is UTF-8. Reads the whole file in binary mode when it holds at most maxBytes; out is
// replaced only on kOk. Never throws.
ReadStatus ReadFileCapped(const std::string& path, size_t maxBytes, std::string& out);

// Files the program reads whole are far below this; a larger one is refused rather than read.
inline constexpr size_t kDefaultReadLimit = size_t{1} << 30;

// ReadFileCapped with kDefaultReadLimit; false for anything but kOk.
bool ReadWholeFile(const std::string& path, std::string& out);

// The operating system's words for why the last file operation of this thread failed
// ("Permission denied"); call it right after the failing call.
std::string LastErrorText();

// True when something (file or folder) exists at path. Tools ask before replacing a file a
// user may have saved.
bool PathExists(const std::string& path);

// Writes data to path + ".tmp", closes it, then replaces path with it. An empty path is
// refused (kCannotOpen): it would name a file beside whatever the working directory is.
ReplaceStatus WriteFileReplacing(const std::string& path, std::string_view data);

}  // namespace kvr::platform
