// Runs a fuzz target once on each given file, or on every file of each given
// folder (names starting with '.' are skipped), without libFuzzer. The
// normal builds use it to replay the seed corpus and every kept crash input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      std::vector<fs::path> found;
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') found.push_back(e.path());
      std::sort(found.begin(), found.end());
      inputs.insert(inputs.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(p)) {
      inputs.push_back(p);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 2;
    }
  }
  for (const fs::path& p : inputs) {
    std::fprintf(stderr, "Running: %s\n", p.c_str());
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A failed property aborts, so a returning call passed.
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::string name = fs::path(argv[0]).filename().string();
  const std::string stem = "fuzz_replay_";
  if (name.compare(0, stem.size(), stem) == 0) name.erase(0, stem.size());
  std::printf("fuzz-replay: %s %zu inputs, 0 failures, 0 crashes\n", name.c_str(), inputs.size());
  return 0;
}
