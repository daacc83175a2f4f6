#include "filter_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace hrvtest {

namespace {
void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}
}  // namespace

FilterRun::FilterRun(Sandbox& box, const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env, const std::string& stdinPath,
                     BackendScript script)
    : script_(std::move(script)) {
  int outPipe[2], errPipe[2], side[2], back[2];
  if (pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) || pipe2(wake_, O_CLOEXEC) ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, side) ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, back))
    throw std::runtime_error("pipe failed");

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int in = ::open(stdinPath.c_str(), O_RDONLY);
    dup2(in, 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    dup2(back[1], 3);
    dup2(side[1], 4);
    ::signal(SIGPIPE, SIG_DFL);  // as the scheduler starts its filters
    box.execInside(argv, env);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ::close(side[1]);
  ::close(back[1]);
  out_ = outPipe[0];
  err_ = errPipe[0];
  side_ = side[0];
  back_ = back[0];
  thread_ = std::thread([this] { serve(); });
}

FilterRun::~FilterRun() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    wait(10000);
  }
  stop_ = true;
  wake();
  if (thread_.joinable()) thread_.join();
  closeFd(out_);
  closeFd(err_);
  closeFd(side_);
  closeFd(back_);
  closeFd(wake_[0]);
  closeFd(wake_[1]);
}

void FilterRun::signal(int sig) {
  ::kill(pid_, sig);
}

void FilterRun::wake() {
  char c = 0;
  ssize_t ignored = ::write(wake_[1], &c, 1);
  (void)ignored;
}

void FilterRun::pauseOutput(bool paused) {
  paused_ = paused;
  wake();
}

void FilterRun::closeOutput() {
  closeOut_ = true;
  wake();
  waitFor([&] { return outDone_; }, 5000);
}

void FilterRun::serve() {
  const std::string lockRequest = "LockPrinter?";
  size_t lockScanFrom = 0;
  char buf[65536];
  while (!stop_) {
    if (closeOut_ && out_ >= 0) {
      closeFd(out_);
      std::lock_guard<std::mutex> l(mu_);
      outDone_ = true;
      cv_.notify_all();
    }
    pollfd p[4] = {{wake_[0], POLLIN, 0},
                   {errDone_ ? -1 : err_, POLLIN, 0},
                   {side_, POLLIN, 0},
                   {outDone_ ? -1 : out_, POLLIN, 0}};
    int n = ::poll(p, paused_ ? 3 : 4, 200);
    if (n < 0) continue;
    if (p[0].revents & POLLIN) {
      ssize_t ignored = ::read(wake_[0], buf, sizeof buf);
      (void)ignored;
    }
    if (p[1].revents & (POLLIN | POLLHUP)) {
      ssize_t r = ::read(err_, buf, sizeof buf);
      std::lock_guard<std::mutex> l(mu_);
      if (r > 0) errText_.append(buf, static_cast<size_t>(r));
      if (r <= 0) errDone_ = true;
      cv_.notify_all();
    }
    if (p[2].revents & POLLIN) {
      unsigned char msg[4];
      ssize_t r = ::read(side_, msg, sizeof msg);
      if (r == 4) {
        int index;
        {
          std::lock_guard<std::mutex> l(mu_);
          index = drains_++;
          cv_.notify_all();
        }
        int status = script_.drainStatus(index);
        if (status >= 0) {
          unsigned char reply[4] = {msg[0], static_cast<unsigned char>(status), 0, 0};
          // The filter may be gone already: no SIGPIPE for the test.
          ssize_t ignored = ::send(side_, reply, sizeof reply, MSG_NOSIGNAL);
          (void)ignored;
        }
      }
    }
    if (!paused_ && (p[3].revents & (POLLIN | POLLHUP))) {
      ssize_t r = ::read(out_, buf, sizeof buf);
      std::vector<std::string> replies;
      {
        std::lock_guard<std::mutex> l(mu_);
        if (r > 0) outText_.append(buf, static_cast<size_t>(r));
        if (r <= 0) outDone_ = true;
        size_t at;
        while ((at = outText_.find(lockRequest, lockScanFrom)) != std::string::npos) {
          lockScanFrom = at + lockRequest.size();
          replies.push_back(script_.lockReply(locks_++));
        }
        cv_.notify_all();
      }
      for (const std::string& reply : replies)
        if (!reply.empty()) {
          ssize_t ignored = ::send(back_, reply.data(), reply.size(), MSG_NOSIGNAL);
          (void)ignored;
        }
    }
    {
      std::lock_guard<std::mutex> l(mu_);
      if (ended_ && outDone_ && errDone_) break;
    }
  }
}

bool FilterRun::waitFor(const std::function<bool()>& done, int timeoutMs) {
  std::unique_lock<std::mutex> l(mu_);
  return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), done);
}

bool FilterRun::waitForOutput(const std::string& needle, int timeoutMs) {
  return waitFor([&] { return outText_.find(needle) != std::string::npos; }, timeoutMs);
}

bool FilterRun::waitForError(const std::string& needle, int timeoutMs) {
  return waitFor([&] { return errText_.find(needle) != std::string::npos; }, timeoutMs);
}

bool FilterRun::waitForDrainRequests(int count, int timeoutMs) {
  return waitFor([&] { return drains_ >= count; }, timeoutMs);
}

RunResult FilterRun::wait(int timeoutMs) {
  if (!reaped_) {
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pid_t r;
    while ((r = waitpid(pid_, &status, WNOHANG)) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      usleep(5000);
    }
    reaped_ = true;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
    {
      std::lock_guard<std::mutex> l(mu_);
      ended_ = true;
    }
    paused_ = false;
    wake();
    // Let the reader collect what is still in the pipes.
    waitFor([&] { return outDone_ && errDone_; }, 5000);
  }
  std::lock_guard<std::mutex> l(mu_);
  result_.out = outText_;
  result_.err = errText_;
  return result_;
}

std::string FilterRun::output() {
  std::lock_guard<std::mutex> l(mu_);
  return outText_;
}

std::string FilterRun::errors() {
  std::lock_guard<std::mutex> l(mu_);
  return errText_;
}

int FilterRun::drainRequests() {
  std::lock_guard<std::mutex> l(mu_);
  return drains_;
}

}  // namespace hrvtest
