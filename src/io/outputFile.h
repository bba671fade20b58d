#ifndef TAMBRIL_IO_OUTPUTFILE_H
#define TAMBRIL_IO_OUTPUTFILE_H

#include <string>
#include <string_view>

// A text file written line by line: created (permission bits 0664 before the umask) or
// truncated on Open, every completed line handed to the system at once. Write failures (a full
// disk, say) are remembered rather than ignored: ok() turns false and stays false.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }

  // Appends text to the current line, or writes `text` and a line end and flushes.
  OutputFile& Put(std::string_view text);
  OutputFile& Put(double value);  // "%g"
  OutputFile& Put(long long value);
  void EndLine();
  // Ends the line but hands it to the system only once 64 KiB have gathered (or at the next
  // EndLine or Close): for long tables, where a system call per line would dominate.
  void EndLineBuffered();

  bool ok() const { return ok_; }
  // Closes the file; returns false if any write failed or closing failed.
  bool Close();

 private:
  void Flush();

  int fd_ = -1;
  bool ok_ = true;
  std::string pending_;
};

// Formats a double the way the default output stream does: "%g", six significant digits.
std::string FormatDouble(double value);

#endif
