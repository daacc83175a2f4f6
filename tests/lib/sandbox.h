// Runs the suite's real programs with their fixed paths inside a private
// mount and network namespace whose paths are backed by a temporary folder.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hrvtest {

struct RunResult {
  int exitCode = -1;   // exit status, or -1 when killed
  int termSignal = 0;  // signal that ended it, or 0
  std::string out;     // standard output
  std::string err;     // standard error
};

class Sandbox {
 public:
  Sandbox();   // makes a fresh stage folder
  ~Sandbox();  // removes it
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Host-side folder behind /opt/vorn/HRV5720ZWB, /var/spool/cups, /var/tmp.
  std::string opt() const { return stage_ + "/opt"; }
  std::string spool() const { return stage_ + "/spool"; }
  std::string varTmp() const { return stage_ + "/vartmp"; }
  const std::string& stage() const { return stage_; }

  // Copies a built program to a path under /opt/vorn/HRV5720ZWB.
  void installProgram(const std::string& builtPath, const std::string& relativePath);
  // Links the rasterizer path to the system's Ghostscript.
  void linkRasterizer();
  // Creates the config and log folders the filters write to.
  void makeJobFileDirs();
  // Installs both built filters at their fixed paths, links the rasterizer
  // and creates the job file folders.
  void installFilters(const std::string& usbFilter, const std::string& netFilter);

  // In a forked child, after its descriptors are set up: sets `env` and
  // replaces the child with argv run inside the namespace.
  [[noreturn]] void execInside(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& env) const;

  // Runs argv inside the namespace; `stdinData` is fed to its standard input.
  RunResult run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                const std::string& stdinData = {});

 private:
  std::string stage_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
bool runningAsRoot();

// Runs a command line through /bin/sh where the test runs (not in a
// sandbox); standard error joins standard output.
struct ShellResult {
  int status = -1;  // exit status, or -1 when it did not exit
  std::string out;
};
ShellResult shell(const std::string& command);

// Asks `done` every `stepMs` milliseconds until it holds or `seconds` pass.
bool waitUntil(const std::function<bool()>& done, int seconds, int stepMs = 100);

}  // namespace hrvtest

namespace hrvtest {
// A PostScript document of `pages` A4 pages, each with an n×n noise image:
// about 3·n² bytes of PCL XL per page, so it spans many forwarding blocks.
std::string heavyDocument(int pages, int n);
}  // namespace hrvtest
