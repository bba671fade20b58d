#ifndef TAMBRIL_TOOLS_COMMON_OUTPUTFILES_H
#define TAMBRIL_TOOLS_COMMON_OUTPUTFILES_H

#include <string>
#include <utility>
#include <vector>

// The files a tool writes: never one of the files it reads, and written as one.
namespace tambril::tools {

// Throws FileError "TOOL: the output would replace the input 'INPUT'" when an output names an
// input: the same file by device and inode, however spelt (./x, sub/../x, an absolute path, a
// symbolic or hard link), or the same directory entry yet to be created.
void CheckOutputsApart(const std::string& tool, const std::vector<std::string>& outputs,
                       const std::vector<std::string>& inputs);

// The same for a tool that writes to standard output: refused when it is one of the inputs.
void CheckStandardOutputApart(const std::string& tool, const std::vector<std::string>& inputs);

// Shared locks on the directories of files that are read as a set (a netlist and its names),
// held while it lives: WriteOutputs renames under an exclusive lock on them, so that the files
// read are all from before a run's renames or all from after them.
class InputsLock {
 public:
  explicit InputsLock(const std::vector<std::string>& paths);
  ~InputsLock();
  InputsLock(const InputsLock&) = delete;
  InputsLock& operator=(const InputsLock&) = delete;

 private:
  std::vector<int> fds_;
};

// Writes each text (empty, or ending in a line end) to its path, in order, as one: every
// temporary is written whole and synced before the first rename, and the renames happen under
// an exclusive lock on the outputs' directories, so that a second run into the same files waits
// for them, and with the termination signals held. A failure before the renames (a full disk,
// a file size limit) leaves every path as it was. Throws FileError "TOOL: cannot write 'PATH'".
void WriteOutputs(const std::string& tool,
                  const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace tambril::tools

#endif
