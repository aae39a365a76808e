#include "child_process.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

std::string tempFile(const char* tag) {
  std::string name = std::string("/tmp/vrm_child_") + tag + "_XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  const int fd = mkstemp(buf.data());
  if (fd >= 0) close(fd);
  return buf.data();
}

}  // namespace

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out.write(bytes.data(), (std::streamsize)bytes.size());
  return (bool)out;
}

std::string makeTempDir(const std::string& tag) {
  std::string name = "/tmp/vrm_" + tag + "_XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return "/tmp";
  return buf.data();
}

ChildResult runInChild(const std::function<void()>& body) { return runInChild(body, [](pid_t) {}); }

ChildResult runInChild(const std::function<void()>& body, const std::function<void(pid_t)>& meanwhile) {
  const std::string outName = tempFile("out"), errName = tempFile("err");
  std::fflush(nullptr);
  ChildResult r;
  const pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(outName.c_str(), "w", stdout) || !std::freopen(errName.c_str(), "w", stderr)) _exit(99);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  if (pid > 0) meanwhile(pid);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) {
    r.exited = WIFEXITED(status);
    r.exitCode = r.exited ? WEXITSTATUS(status) : -1;
  }
  r.out = readFileBytes(outName);
  r.err = readFileBytes(errName);
  std::remove(outName.c_str());
  std::remove(errName.c_str());
  return r;
}

int openTerminalHolding(const std::string& written, std::string& terminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      write(master, written.data(), written.size()) != (ssize_t)written.size()) {
    if (master >= 0) close(master);
    return -1;
  }
  terminal = ptsname(master);
  return master;
}

bool waitUntilReading(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  for (;;) {
    // The state follows the command name, which ends at the last ')'; an ended child stays a zombie
    // until it is waited for.
    const std::string stat = readFileBytes(proc + "/stat");
    const size_t name = stat.rfind(')');
    if (name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] == 'Z') return false;
    // "<number> <arguments>..." while it sleeps in a system call, "running" while it runs.
    const std::string call = readFileBytes(proc + "/syscall");
    if (call.empty()) return false;
    if (call[0] != 'r' && std::strtol(call.c_str(), nullptr, 10) == SYS_read) return true;
    const timespec pause = {0, 1000000};  // 1 ms between looks
    nanosleep(&pause, nullptr);
  }
}
