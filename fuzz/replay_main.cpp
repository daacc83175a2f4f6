// Runs a fuzz target once on each given file and on every file of each given
// folder (names starting with '.' skipped), without libFuzzer: the normal
// builds replay the seed corpus and every kept crash input with it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::set<fs::path> inputs;  // in order
    if (!fs::is_directory(argv[i])) inputs.insert(argv[i]);
    for (const auto& e :
         fs::is_directory(argv[i]) ? fs::directory_iterator(argv[i]) : fs::directory_iterator())
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') inputs.insert(e.path());
    for (const fs::path& p : inputs) {
      std::ifstream in(p, std::ios::binary);
      if (!in) return std::fprintf(stderr, "no such input: %s\n", p.c_str()), 2;
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::fprintf(stderr, "Running: %s\n", p.c_str());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size());  // a failure aborts
      ++count;
    }
  }
  std::string name = fs::path(argv[0]).filename();  // fuzz_replay_<name>
  if (name.rfind("fuzz_replay_", 0) == 0) name.erase(0, 12);
  std::printf("fuzz-replay: %s %zu inputs, 0 failures, 0 crashes\n", name.c_str(), count);
  return 0;
}
