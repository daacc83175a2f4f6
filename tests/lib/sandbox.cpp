#include "sandbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace hrvtest {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool fileExists(const std::string& path) {
  return fs::exists(path);
}

bool runningAsRoot() {
  return geteuid() == 0;
}

ShellResult shell(const std::string& command) {
  ShellResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool waitUntil(const std::function<bool()>& done, int seconds, int stepMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
  }
  return done();
}

Sandbox::Sandbox() {
  std::string tmpl = (fs::temp_directory_path() / "hrv-sandbox-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  stage_ = tmpl;
  chmod(stage_.c_str(), 0755);
  for (const std::string& d : {opt(), spool(), varTmp()}) fs::create_directories(d);
  chmod(varTmp().c_str(), 01777);
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::remove_all(stage_, ec);
}

void Sandbox::installProgram(const std::string& builtPath, const std::string& relativePath) {
  fs::path dst = fs::path(opt()) / relativePath;
  fs::create_directories(dst.parent_path());
  fs::copy_file(builtPath, dst, fs::copy_options::overwrite_existing);
  chmod(dst.c_str(), 0755);
}

void Sandbox::linkRasterizer() {
  fs::path link = fs::path(opt()) / "bin/usb/hrv5720zwb/bin/gs";
  fs::create_directories(link.parent_path());
  fs::remove(link);
  fs::create_symlink("/usr/bin/gs", link);
}

void Sandbox::makeJobFileDirs() {
  for (const char* d : {"/bin/usb/config", "/bin/net/config"}) fs::create_directories(opt() + d);
}

void Sandbox::installFilters(const std::string& usbFilter, const std::string& netFilter) {
  installProgram(usbFilter, "bin/pstopxl_hrv5720zwb");
  installProgram(netFilter, "bin/pstopxl_hrv5720zwb-net");
  linkRasterizer();
  makeJobFileDirs();
}

void Sandbox::execInside(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) const {
  for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
  std::vector<std::string> full = {HRV_SANDBOX_EXEC, stage_};
  full.insert(full.end(), argv.begin(), argv.end());
  std::vector<char*> cargv;
  for (auto& a : full) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  execv(cargv[0], cargv.data());
  _exit(127);
}

RunResult Sandbox::run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                       const std::string& stdinData) {
  // Standard input comes from a file so the child may read it at its pace.
  const std::string inPath = stage_ + "/.stdin", outPath = stage_ + "/.stdout", errPath = stage_ + "/.stderr";
  writeFile(inPath, stdinData);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(::open(inPath.c_str(), O_RDONLY), 0);
    dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    execInside(argv, env);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunResult r;
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.termSignal = WTERMSIG(status);
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  return r;
}

std::string heavyDocument(int pages, int n) {
  std::string ps = "%!PS-Adobe-3.0\n%%Pages: " + std::to_string(pages) + "\n%%EndComments\n";
  ps += "/n " + std::to_string(n) + " def\n/str n 3 mul string def\n";
  ps +=
      "/page { << /PageSize [595 842] >> setpagedevice gsave 50 50 translate 500 700 scale\n"
      "  n n 8 [n 0 0 n neg 0 n] { 0 1 str length 1 sub { str exch rand -7 bitshift 255 and put } for str }\n"
      "  false 3 colorimage grestore showpage } def\n";
  for (int i = 1; i <= pages; ++i)
    ps += "%%Page: " + std::to_string(i) + " " + std::to_string(i) +
          "\n<< /MediaBox [0 0 595 842] >> pop page\n";
  return ps + "%%EOF\n";
}

}  // namespace hrvtest
