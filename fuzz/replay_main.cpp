// Runs the fuzz target once over each file named on the command line, and over
// every truncation of it, so that a build without a fuzzing engine still checks
// the target against a corpus (under the sanitizers in CI).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (std::size_t length = 0; length <= bytes.size(); ++length)
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), length);
  }
  std::printf("replayed %d files\n", argc - 1);
  return 0;
}
