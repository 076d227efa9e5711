// The regression run of a fuzz target: a main() that feeds every file of the
// given seed folders (or single files) to LLVMFuzzerTestOneInput, one at a
// time, in name order. A target that crashes or aborts on a seed ends the
// program with that signal; a run without a single input fails, so an empty
// or missing corpus is never taken for a pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool collect(const fs::path& p, std::vector<fs::path>& files) {
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) {
    files.push_back(p);
    return true;
  }
  if (!fs::is_directory(p, ec)) return false;
  for (fs::recursive_directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path());
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i)
    if (!collect(argv[i], files)) {
      std::fprintf(stderr, "cannot read the seeds in %s\n", argv[i]);
      return 1;
    }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no seed inputs given\n");
    return 1;
  }
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "cannot read %s\n", f.c_str());
      return 1;
    }
    // A buffer of exactly the input's size, so a read past its end is caught
    // by a sanitizer build rather than landing in the string's spare room.
    const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.get());
    std::fprintf(stderr, "%s\n", f.c_str());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::printf("%zu inputs run\n", files.size());
  return 0;
}
