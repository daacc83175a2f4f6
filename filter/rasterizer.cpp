#include "rasterizer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "unique_fd.h"

extern char** environ;

namespace hrv {

namespace {

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return fd >= 0 && ::poll(&p, 1, 0) > 0;
}

// Time for the pipe to fill a little after it has become readable: far less
// than Ghostscript needs to fill the pipe (1 MiB).
constexpr int kGatherMs = 2;

// Lines longer than this are handed on in pieces.
constexpr size_t kMaxMessage = 4096;

// Reads the child's two pipes: the stream (in blocks for the caller) and its
// messages (in lines for the sink), and watches for a cancel meanwhile.
class ChildPipes {
 public:
  ChildPipes(UniqueFd stream, UniqueFd messages, int cancelFd, RasterSink& sink)
      : stream_(std::move(stream)), messages_(std::move(messages)), cancelFd_(cancelFd), sink_(sink) {}

  // Reads until `size` bytes or the end of the stream (a read error counts as
  // the end), like one buffered read. Returns false on a cancel.
  bool fill(char* buf, size_t size, size_t& got) {
    got = 0;
    while (got < size) {
      const ssize_t k = ::read(stream_.get(), buf + got, size - got);
      if (k > 0) {
        got += static_cast<size_t>(k);
        continue;
      }
      if (k == 0 || (errno != EAGAIN && errno != EINTR)) return true;
      // Wait for the next output; then give Ghostscript a moment to write
      // more of it, so that it is read in large pieces, not write by write.
      if (!wait(stream_.get())) return false;
      if (!wait(-1, kGatherMs)) return false;
    }
    return true;
  }

  // Waits for `fd` (-1: none) to turn readable or `timeoutMs` to pass,
  // handing on messages meanwhile. Returns false on a cancel.
  bool wait(int fd, int timeoutMs = -1) {
    for (;;) {
      pollfd p[3] = {{cancelFd_, POLLIN, 0}, {messages_.get(), POLLIN, 0}, {fd, POLLIN, 0}};
      const int n = ::poll(p, 3, timeoutMs);
      if (n < 0 && errno != EINTR) return true;
      if ((n > 0 && (p[0].revents & POLLIN)) || (n < 0 && readable(cancelFd_))) return false;
      if (n > 0 && p[1].revents) readMessages();
      if (n <= 0 || p[2].revents) return true;
    }
  }

  // Hands on what is left of the messages once the child has ended.
  void finish() {
    if (messages_) readMessages();
    if (!line_.empty()) sink_.message(line_);
    line_.clear();
  }

 private:
  void readMessages() {
    char buf[4096];
    ssize_t k;
    while ((k = ::read(messages_.get(), buf, sizeof buf)) > 0) {
      for (ssize_t i = 0; i < k; ++i) {
        if (buf[i] != '\n') line_ += buf[i];
        if (buf[i] == '\n' || line_.size() == kMaxMessage) {
          sink_.message(line_);
          line_.clear();
        }
      }
    }
    if (k == 0 || (errno != EAGAIN && errno != EINTR)) messages_.reset();  // the child closed it
  }

  UniqueFd stream_, messages_;
  int cancelFd_;
  RasterSink& sink_;
  std::string line_;
};

// Moves a pipe end above the standard descriptors, so that the child's dup2
// onto 0 and 1 never meets one of them.
bool aboveStandardFds(UniqueFd& fd) {
  if (fd.get() > STDERR_FILENO) return true;
  fd.reset(::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
  return static_cast<bool>(fd);
}

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

Rasterizer::Rasterizer(RasterJob job) : job_(std::move(job)) {}

Rasterizer::~Rasterizer() {
  stop();
}

void Rasterizer::terminate() {
  if (pid_ > 0) ::kill(pid_, SIGTERM);
}

void Rasterizer::stop(int graceMs) {
  if (pid_ <= 0) return;
  terminate();
  const long long deadline = nowMs() + graceMs;
  int status = 0;
  pid_t r;
  while ((r = ::waitpid(pid_, &status, WNOHANG)) == 0 && nowMs() < deadline) ::usleep(5000);
  if (r == 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

RasterOutcome Rasterizer::run(RasterSink& sink, int cancelFd) {
  int fds[4];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {RasterEnd::kPipeFailed, errno};
  UniqueFd out(fds[0]), in(fds[1]);
  if (::pipe2(fds + 2, O_CLOEXEC) != 0) return {RasterEnd::kPipeFailed, errno};
  UniqueFd errOut(fds[2]), errIn(fds[3]);
  for (UniqueFd* fd : {&out, &in, &errOut, &errIn})
    if (!aboveStandardFds(*fd)) return {RasterEnd::kPipeFailed, errno};

  std::vector<std::string> args = job_.args;
  args.insert(args.begin(), "gs");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The child starts with every signal at its default action and none
  // blocked, whatever the caller ignores or blocks.
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  if (job_.inputFd != STDIN_FILENO) posix_spawn_file_actions_adddup2(&actions, job_.inputFd, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, in.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errIn.get(), STDERR_FILENO);
  // Nothing else of the caller's reaches the child: a server's sockets and
  // files opened without close-on-exec (in its libraries, too) stay its own.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const int err = ::posix_spawn(&pid_, job_.program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (err != 0) {
    pid_ = -1;
    return {RasterEnd::kStartFailed, err};
  }
  in.reset();
  errIn.reset();
  // A roomy pipe lets Ghostscript run ahead while a block is handed on.
  fcntl(out.get(), F_SETPIPE_SZ, 1 << 20);
  for (const UniqueFd* fd : {&out, &errOut})
    fcntl(fd->get(), F_SETFL, fcntl(fd->get(), F_GETFL) | O_NONBLOCK);
  ChildPipes pipes(std::move(out), std::move(errOut), cancelFd, sink);
  sink.started();

  // The head: checked, then dropped. Output that ends inside it must still be
  // the beginning of it.
  std::string head(job_.expectedHead.size(), '\0');
  size_t got = 0;
  if (!pipes.fill(head.data(), head.size(), got)) return {RasterEnd::kCancelled, 0};
  head.resize(got);
  sink.headRead(head);
  if (job_.expectedHead.compare(0, head.size(), head) != 0) return {RasterEnd::kForeignHead, 0};

  if (!block_) block_.reset(new char[kRasterBlock]);
  for (;;) {
    if (!pipes.fill(block_.get(), kRasterBlock, got)) return {RasterEnd::kCancelled, 0};
    if (got == 0) break;
    if (!sink.block(block_.get(), got)) return {RasterEnd::kSinkStopped, 0};
  }

  // How the child ended: its pidfd turns readable when it does (without one,
  // it is asked every 10 ms).
  const UniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (r < 0 && errno != EINTR) {
      const int waitErr = errno;
      pid_ = -1;
      return {RasterEnd::kWaitFailed, waitErr};
    }
    if (!pipes.wait(ended.get(), ended ? -1 : 10)) return {RasterEnd::kCancelled, 0};
  }
  pid_ = -1;
  pipes.finish();
  if (WIFEXITED(status))
    return WEXITSTATUS(status) == 0 ? RasterOutcome{RasterEnd::kDone, 0}
                                    : RasterOutcome{RasterEnd::kFailed, WEXITSTATUS(status)};
  return {RasterEnd::kKilled, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace hrv
