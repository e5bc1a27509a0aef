// Runs a fuzz target's entry point once over each input file, as libFuzzer would on a corpus, for
// builds without libFuzzer: fuzz_NAME FILE|FOLDER…, the files of a folder in name order. A property
// that fails aborts as it does under libFuzzer; otherwise the count of inputs is printed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path place(argv[i]);
    if (std::filesystem::is_directory(place)) {
      std::vector<std::filesystem::path> inside;
      for (const auto& entry : std::filesystem::directory_iterator(place))
        if (entry.is_regular_file()) inside.push_back(entry.path());
      std::sort(inside.begin(), inside.end());
      files.insert(files.end(), inside.begin(), inside.end());
    } else if (std::filesystem::is_regular_file(place)) {
      files.push_back(place);
    } else {
      std::fprintf(stderr, "%s: %s is neither a file nor a folder\n", argv[0], argv[i]);
      return 2;
    }
  }
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: %s cannot be read\n", argv[0], file.c_str());
      return 2;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%s: %zu inputs replayed\n", argv[0], files.size());
  return files.empty() ? 1 : 0;
}
