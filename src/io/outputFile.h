#ifndef TAMBRIL_IO_OUTPUTFILE_H
#define TAMBRIL_IO_OUTPUTFILE_H

#include <string>
#include <string_view>
#include <vector>

namespace tambril {

// A text file written line by line, every completed line handed to the system at once. Write
// failures (a full disk, say) are remembered rather than ignored: ok() turns false and stays
// false.
//
// Two ways to open:
//  - Open: creates `path` (permission bits 0664 before the umask) or empties it, and writes
//    straight into it; for logs that users watch while they grow. It never follows a symbolic
//    link, opens only a regular file, and never one of the files that the run reads.
//  - OpenReplacing: writes into a new temporary file in the directory of `path`; Commit()
//    renames it over `path` once everything is written. Until then `path` keeps its old
//    content, whatever happens to the run; a file never committed is removed.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // kRefused when `path` is a symbolic link, not a regular file, or one of `apart` (the same
  // file by device and inode), which then stays as it was; kFailed when it cannot be opened.
  enum class Opened { kOpened, kFailed, kRefused };
  Opened Open(const std::string& path, const std::vector<std::string>& apart = {});
  bool OpenReplacing(const std::string& path);
  // Writes to standard output, which Close leaves open.
  void OpenStandardOutput();
  bool IsOpen() const { return fd_ >= 0; }
  // The descriptor of the open file (-1 when closed), for locks and identity checks.
  int Descriptor() const { return fd_; }

  // Appends to the current line.
  OutputFile& Put(std::string_view text);
  OutputFile& Put(double value);  // "%g"
  OutputFile& Put(long long value);
  // Appends raw text, handed to the system whenever 64 KiB have gathered.
  void Write(std::string_view text);
  // Ends the line and hands it to the system.
  void EndLine();
  // Ends the line but hands it to the system only once 64 KiB have gathered (or at the next
  // EndLine, Close or Commit): for long tables, where a system call per line would dominate.
  void EndLineBuffered();

  bool ok() const { return ok_; }
  // Closes the file; false if any write or the closing failed. A replacing file that is
  // closed rather than committed is removed.
  bool Close();
  // Closes a file opened with OpenReplacing and renames it over its target; false, with the
  // temporary removed and the target untouched, if anything failed.
  bool Commit();

 private:
  void Flush();
  void Discard();

  int fd_ = -1;
  bool ownsDescriptor_ = true;
  bool ok_ = true;
  std::string pending_;
  std::string target_;     // OpenReplacing: the path that Commit replaces
  std::string temporary_;  // OpenReplacing: the file written
};

// Formats a double the way the default output stream does: "%g", six significant digits.
std::string FormatDouble(double value);
// The same into `buffer`, without allocating; returns the length (no terminator is written).
constexpr size_t kDoubleChars = 32;
size_t FormatDouble(double value, char (&buffer)[kDoubleChars]);

// For an executable's main, before it opens files: a run ended by SIGHUP, SIGINT, SIGQUIT,
// SIGTERM, SIGPIPE or SIGXCPU (Ctrl-C, a time limit, a closed pipe) first removes the
// temporaries of its uncommitted OpenReplacing files, then dies of the signal as it would have;
// a signal ignored at start stays ignored. SIGXFSZ is ignored, so that a write beyond the file
// size limit fails and is reported instead of killing the run. Only SIGKILL can leave a
// temporary behind; it is named after its target ("TARGET.tmp.XXXXXX") and never read.
void RemoveTemporariesOnSignals();

// True when `a` and `b` name one file: both exist and are the same file (device and inode,
// symbolic links followed), or neither exists and both name the same entry of one directory.
bool SameFile(const std::string& a, const std::string& b);

// An advisory lock (flock) on a file that a run writes, held until the object is destroyed, so
// that two runs never write one log at once.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // Opens `path`, created empty if it does not exist and otherwise left as it is (a symbolic
  // link is not followed), and locks it without waiting. Returns false only when another
  // process holds the lock. When the file cannot be opened or its file system has no locks,
  // nothing is locked and the call succeeds: the writer then fails, or not, on its own terms.
  bool TryLock(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace tambril

#endif
