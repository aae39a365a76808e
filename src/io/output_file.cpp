#include "io/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <filesystem>

#include "io/fail.h"

namespace {

// The temporary file being written, removed by a signal that ends the process meanwhile. Only one
// output is written at a time.
char gTemp[4096];
volatile std::sig_atomic_t gTempSet = 0;

void removeTemporaryAndDie(int sig) {
  if (gTempSet) ::unlink(gTemp);
  std::raise(sig);  // the default action, restored on entry (SA_RESETHAND), ends the process
}

// Signals whose default action ends the process, caught once to remove the temporary file first;
// a signal that the process ignores stays ignored.
void watchTerminatingSignals() {
  static bool watched = false;
  if (watched) return;
  watched = true;
  for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGXFSZ}) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa = {};
    sa.sa_handler = removeTemporaryAndDie;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

// The fences keep the compiler from moving the copy of the name across the flag's stores: the handler
// sees the flag set only with the whole name in place.
void setTemporary(const std::string& temp) {
  gTempSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (temp.size() >= sizeof gTemp) return;
  std::memcpy(gTemp, temp.c_str(), temp.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gTempSet = 1;
}

[[noreturn]] void failWrite(const std::string& name, int error) {
  failRun("Output " + quoted(name) + ": could not be written (" + std::strerror(error) + ")");
}

// Writes all n bytes, retrying partial writes; the number written before an error (errno set).
size_t writeAll(int fd, const char* p, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, p + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      break;
    }
    done += (size_t)w;
  }
  return done;
}

// Why `name` cannot be an output (0: it can): a folder or a file without write permission could never
// be opened for writing, and the rename would replace it.
int unwritable(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  return ::access(name.c_str(), W_OK) == 0 ? 0 : errno;
}

// The file that a write to `name` reaches: the end of its chain of symbolic links, so that a link
// under an output's name stays a link to the new content, as when outputs were written in place.
std::string linkTarget(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = name;
  for (int k = 0; k < 40 && fs::is_symlink(p, ec); ++k) {
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p.string();
}

// Opens `path` for writing with `flags`. A FIFO is opened without waiting: with no process reading
// it, open(2) would block for ever, and ENXIO says so instead (it ends the process, naming `name`);
// once open, the descriptor blocks again.
int openWithoutWaiting(const std::string& path, int flags, const std::string& name) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  const int error = errno;
  struct stat st;
  if (fd < 0 && error == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
    failRun("Output " + quoted(name) + ": could not be written (a FIFO (named pipe) that no process is reading)");
  if (fd >= 0) {
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl != -1) (void)::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  }
  errno = error;  // why the open failed
  return fd;
}

// The owner and group of the file being replaced, given to its replacement as far as the process may
// set them (a process that may not give the file away may still keep its group).
void keepOwner(int fd, const struct stat& old) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, (uid_t)-1, old.st_gid);
}

}  // namespace

void removeTemporaryOnTerminatingSignals() { watchTerminatingSignals(); }

OutputFile::OutputFile(const std::string& name, CannotCreate cannotCreate) : name_(name), path_(linkTarget(name)) {
  const std::string folder = path_.substr(0, path_.find_last_of('/') + 1);
  struct stat old;
  const bool exists = ::stat(path_.c_str(), &old) == 0;
  int error = unwritable(path_), fd = -1;
  // A device or a FIFO under the name is written to, never replaced; so is a file whose folder takes
  // no new file (the temporary) but which may itself be written, as outputs always were.
  inPlace_ = !error && exists && !S_ISREG(old.st_mode);
  for (int n = 0; !error && !inPlace_ && fd < 0 && n < 100; ++n) {
    temp_ = folder + ".vrm_" + std::to_string(::getpid()) + "_" + std::to_string(n) + ".tmp";
    setTemporary(temp_);
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) error = errno;
  }
  if (fd < 0 && exists && (error == EACCES || error == EPERM) && ::access(path_.c_str(), W_OK) == 0)
    inPlace_ = true, error = 0;
  if (inPlace_) {
    gTempSet = 0;
    fd = openWithoutWaiting(path_, O_WRONLY | O_TRUNC, name_);
    if (fd < 0) error = errno;
  } else if (fd >= 0 && exists) {
    keepOwner(fd, old);
    (void)::fchmod(fd, old.st_mode & 0777);  // the permissions of the file it replaces
  }
  if (fd >= 0 && !(f_ = ::fdopen(fd, "w"))) error = errno;
  if (!f_) {
    gTempSet = 0;
    if (fd >= 0) {
      ::close(fd);
      if (!inPlace_) ::unlink(temp_.c_str());
    }
    if (cannotCreate) cannotCreate(name, error ? error : EEXIST);
    failCreate(name);
  }
}

OutputFile::~OutputFile() {
  if (f_) discard();
}

void OutputFile::discard() {
  gTempSet = 0;
  if (f_) std::fclose(f_);
  f_ = nullptr;
  struct stat st;
  if (!inPlace_)
    ::unlink(temp_.c_str());
  else if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    (void)!::truncate(path_.c_str(), 0);
}

void OutputFile::fail(int error) {
  if (error == 0) error = EIO;  // a stream error that left no reason
  discard();
  failWrite(name_, error);
}

void OutputFile::write(const void* data, size_t n) {
  if (n > 0 && std::fwrite(data, 1, n, f_) != n) fail(errno);
}

void OutputFile::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(f_, format, args);
  const int error = errno;
  va_end(args);
  if (n < 0) fail(error);
}

void OutputFile::commit() {
  if (std::fflush(f_) != 0 || std::ferror(f_)) fail(errno);
  // A file system may report a lost write only when the data reach the device.
  if (::fsync(::fileno(f_)) != 0 && errno != EINVAL) fail(errno);
  std::FILE* f = f_;
  f_ = nullptr;
  if (std::fclose(f) != 0) fail(errno);
  if (!inPlace_ && std::rename(temp_.c_str(), path_.c_str()) != 0) fail(errno);
  gTempSet = 0;
}

void appendLine(const std::string& name, const std::string& line) {
  const int fd = openWithoutWaiting(name, O_WRONLY | O_APPEND | O_CREAT, name);
  if (fd < 0) failCreate(name);
  const size_t done = writeAll(fd, line.data(), line.size());
  if (done == line.size()) {
    if (::close(fd) != 0 && errno != EINTR) failWrite(name, errno);
    return;
  }
  const int error = errno;
  // Part of the line went out: it is removed again, unless another writer has appended since.
  struct stat st;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (done > 0 && end >= (off_t)done && ::fstat(fd, &st) == 0 && st.st_size == end)
    (void)!::ftruncate(fd, end - (off_t)done);
  ::close(fd);
  failWrite(name, error);
}
