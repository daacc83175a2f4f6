// Helpers for the tools' tests: temporary directories, files, child processes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hrv::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hrv-tools-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// Atomic replacement, so a reader never sees a half-written file.
inline void replaceFile(const std::string& path, const std::string& data) {
  writeFile(path + ".new", data);
  std::filesystem::rename(path + ".new", path);
}

struct RunResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
};

// Runs a program to its end with standard output captured, standard error
// left alone and standard input from /dev/null.
inline RunResult run(const std::vector<std::string>& argv) {
  RunResult result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) result.out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

// Value of "key=value" in key=value lines, or "<missing>".
inline std::string field(const std::string& lines, const std::string& key) {
  std::string needle = key + "=";
  size_t pos = 0;
  while (pos < lines.size()) {
    size_t end = lines.find('\n', pos);
    if (end == std::string::npos) end = lines.size();
    if (lines.compare(pos, needle.size(), needle) == 0)
      return lines.substr(pos + needle.size(), end - pos - needle.size());
    pos = end + 1;
  }
  return "<missing>";
}

}  // namespace hrv::testing
