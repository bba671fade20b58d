#include "import/yosys.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "io/error.h"
#include "io/text.h"

extern char** environ;

namespace tambril::import {
namespace {

constexpr int kTerminationSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXCPU};

// The termination signals and SIGCHLD held while it lives, so that they can be waited for.
class HeldSignals {
 public:
  HeldSignals() {
    sigemptyset(&waited_);
    for (int signal : kTerminationSignals) {
      // A signal ignored at start (nohup) stays ignored.
      struct sigaction action;
      if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
      sigaddset(&waited_, signal);
    }
    sigaddset(&waited_, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &waited_, &previous_);
  }
  ~HeldSignals() {
    ::sigprocmask(SIG_SETMASK, &previous_, nullptr);  // one that came now ends the run
  }
  const sigset_t& waited() const { return waited_; }

 private:
  sigset_t waited_, previous_;
};

// A scratch directory removed with everything in it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tambril-import.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    // Absolute, since Yosys works inside it.
    std::error_code ec;
    path_ = std::filesystem::absolute(pattern, ec).string();
    if (ec) {
      std::filesystem::remove(pattern, ec);
      path_.clear();
    }
  }
  ~ScratchDirectory() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A process that cleans up after this one should it end without a chance to (SIGKILL): it
// kills Yosys's process group and removes the scratch directory. It waits on a pipe whose write
// end only this process holds; what comes through is the group, a byte once Yosys has been
// reaped (its process id may then name another group), and a byte once the run has cleaned up
// itself.
class Warden {
 public:
  explicit Warden(const std::string& scratch) {
    int ends[2];
    if (scratch.empty() || ::pipe2(ends, O_CLOEXEC) != 0) return;
    const pid_t pid = ::fork();
    if (pid == 0) Watch(ends[0], scratch);
    ::close(ends[0]);
    if (pid < 0) {
      ::close(ends[1]);
      return;
    }
    pid_ = pid;
    fd_ = ends[1];
  }
  ~Warden() {
    if (fd_ < 0) return;
    if (!guarding_) Guard(0);
    Reaped();
    Send("", 1);
    ::close(fd_);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  void Guard(pid_t group) {
    guarding_ = true;
    Send(&group, sizeof group);
  }
  // In the child, before anything else: its group goes to the warden from the child itself,
  // so that a SIGKILL of this process right after the fork still finds it told.
  void GuardFromChild() { Guard(::getpid()); }
  // In this process once the fork has succeeded: the child has told the warden.
  void Guarded() { guarding_ = true; }
  void Reaped() {
    if (reaped_) return;
    reaped_ = true;
    Send("", 1);
  }

 private:
  void Send(const void* bytes, size_t size) {
    while (fd_ >= 0 && ::write(fd_, bytes, size) < 0 && errno == EINTR) {
    }
  }
  [[noreturn]] static void Watch(int fd, const std::string& scratch) {
    // Only the end of the pipe matters to it: no signal of a terminal, no file of the run.
    for (int signal : kTerminationSignals) ::signal(signal, SIG_IGN);
    if (fd > 0) ::close_range(0, fd - 1, 0);
    ::close_range(fd + 1, ~0U, 0);
    char message[sizeof(pid_t) + 2], beyond;
    size_t got = 0;
    for (;;) {
      const bool full = got == sizeof message;
      const ssize_t n = ::read(fd, full ? &beyond : message + got, full ? 1 : sizeof message - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got = std::min(got + static_cast<size_t>(n), sizeof message);
    }
    if (got == sizeof message) ::_exit(0);
    pid_t group = 0;
    if (got == sizeof group) std::memcpy(&group, message, sizeof group);
    if (group > 0) ::kill(-group, SIGKILL);
    // A process of the group may still be leaving a file when the directory first goes.
    for (int attempt = 0; attempt < 20; ++attempt) {
      std::error_code ec;
      std::filesystem::remove_all(scratch, ec);
      if (!std::filesystem::exists(scratch, ec) && !ec) break;
      ::usleep(50000);
    }
    ::_exit(0);
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  bool guarding_ = false, reaped_ = false;
};

// The child's process group killed and reaped when the object goes, unless it has ended.
class Child {
 public:
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_t pid_ = -1;
};

// A name that Yosys takes as it is: letters, digits, '_', '.' and '-', not first.
bool IsPlain(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-') return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '-') {
      return false;
    }
  }
  return true;
}

bool WriteAll(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && done == text.size();
}

// Yosys's first error line says what is wrong with the design, and where when it can.
FormatError Refusal(const std::string& tool, const std::string& path, const std::string& design,
                    const std::string& log) {
  std::string text, where = path, reason = "yosys failed";
  bool readError = false;
  ReadWholeFile(log, text, readError, true);
  LineReader lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    const size_t at = line.find("ERROR: ");
    if (at == std::string_view::npos) continue;
    reason = "yosys: " + std::string(line.substr(at + 7));
    std::string_view location = line.substr(0, at);
    while (!location.empty() && (location.back() == ' ' || location.back() == ':')) {
      location.remove_suffix(1);
    }
    // The copy's name stands for the file named on the command line.
    if (location.substr(0, design.size()) == design) {
      where = path + std::string(location.substr(design.size()));
    } else if (!location.empty()) {
      where = std::string(location);
    }
    break;
  }
  return FormatError(tool + ": " + where + ": " + reason);
}

}  // namespace

std::string SynthesiseVerilog(const std::string& tool, const std::string& path,
                              const std::string& text) {
  const HeldSignals held;
  const ScratchDirectory scratch;
  const std::string base = path.substr(path.find_last_of('/') + 1);
  const std::string design = IsPlain(base) ? base : "design.v";
  if (scratch.path().empty() || !WriteAll(scratch.path() + "/" + design, text)) {
    throw FileError(tool + ": cannot create a scratch directory: " + std::strerror(errno));
  }
  // `include "x.vh"` finds the files beside the design through the directory "source".
  std::error_code ec;
  const std::filesystem::path directory =
      std::filesystem::canonical(std::filesystem::absolute(path, ec).parent_path(), ec);
  std::string includes;
  if (!ec && ::symlink(directory.c_str(), (scratch.path() + "/source").c_str()) == 0) {
    includes = "-Isource ";
  }
  const std::string script = "read_verilog " + includes + design +
                             "; synth -flatten; abc -g AND,NAND,OR,NOR,XOR,XNOR; opt_clean; "
                             "write_blif synthesised.blif";
  const char* yosys = std::getenv("TAMBRIL_YOSYS");
  if (yosys == nullptr || *yosys == '\0') yosys = "yosys";
  const char* argv[] = {yosys, "-q", "-p", script.c_str(), nullptr};
  // The environment, with the scratch directory as home (Yosys's history file goes there) and
  // for temporary files (ABC's).
  std::vector<std::string> variables = {"HOME=" + scratch.path(), "TMPDIR=" + scratch.path()};
  for (char** v = environ; *v != nullptr; ++v) {
    if (std::strncmp(*v, "HOME=", 5) != 0 && std::strncmp(*v, "TMPDIR=", 7) != 0) {
      variables.emplace_back(*v);
    }
  }
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  // The child reports a failed exec through a pipe that a successful one closes.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    throw FileError(tool + ": cannot start yosys: " + std::strerror(errno));
  }
  const pid_t parent = ::getpid();
  Warden warden(scratch.path());
  Child child;
  child.pid_ = ::fork();
  if (child.pid_ == 0) {
    ::setpgid(0, 0);
    warden.GuardFromChild();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    for (int signal : kTerminationSignals) ::signal(signal, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int in = ::open("/dev/null", O_RDONLY);
    const int log = ::open((scratch.path() + "/yosys.log").c_str(), O_WRONLY | O_CREAT, 0600);
    if (::chdir(scratch.path().c_str()) == 0 && in >= 0 && log >= 0 && ::dup2(in, 0) == 0 &&
        ::dup2(log, 1) == 1 && ::dup2(log, 2) == 2) {
      // Yosys gets no other descriptor of this process (a caller's pipe would wait for it).
      ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
      ::execvpe(yosys, const_cast<char* const*>(argv), envp.data());
    }
    const int code = errno;
    (void)!::write(report[1], &code, sizeof code);
    ::_exit(127);
  }
  const int forkError = errno;
  if (child.pid_ > 0) warden.Guarded();
  ::close(report[1]);
  int code = child.pid_ < 0 ? forkError : 0;
  if (child.pid_ > 0) {
    ssize_t got;
    while ((got = ::read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
    }
    if (got != sizeof code) code = 0;
  }
  ::close(report[0]);
  if (code != 0) {
    throw FileError(tool + ": " + path + ": Verilog needs yosys, which was not found (" +
                    std::strerror(code) + "); install the Debian package 'yosys'");
  }

  // Wait for Yosys, or for a signal to end the run.
  int status = 0;
  for (;;) {
    siginfo_t info;
    const int signal = ::sigwaitinfo(&held.waited(), &info);
    if (signal == SIGCHLD) {
      siginfo_t exited = {};
      if (::waitid(P_PID, child.pid_, &exited, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          exited.si_pid != child.pid_) {
        continue;
      }
      // What Yosys left running goes too, while its process id still names the group.
      ::kill(-child.pid_, SIGKILL);
      while (::waitpid(child.pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (signal > 0) {
      ::kill(-child.pid_, SIGKILL);
      while (::waitpid(child.pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
      child.pid_ = -1;
      warden.Reaped();
      std::filesystem::remove_all(scratch.path(), ec);
      ::raise(signal);  // pending until the mask is restored
      throw FileError(tool + ": interrupted");
    }
  }
  child.pid_ = -1;
  warden.Reaped();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Refusal(tool, path, design, scratch.path() + "/yosys.log");
  }
  std::string blif;
  bool readError = false;
  if (!ReadWholeFile(scratch.path() + "/synthesised.blif", blif, readError, true) || readError) {
    throw FileError(tool + ": " + path + ": yosys wrote no netlist");
  }
  return blif;
}

}  // namespace tambril::import
