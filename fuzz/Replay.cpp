//===- Replay.cpp - A fuzz target as a plain program over corpus folders --===//
//
// Usage: <target>_replay PATH...   Each PATH is a file or a folder (read
// recursively, in name order); a PATH that does not exist is passed over,
// so optional sample folders may be named.  Exits non-zero when a named
// folder holds nothing at all and no other PATH gave an input.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Collect(const fs::path& path, std::vector<fs::path>& files) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) {
    files.push_back(path);
    return;
  }
  if (!fs::is_directory(path, ec)) return;
  for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end;
       it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) Collect(argv[i], files);
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::fprintf(stderr, "%s\n", file.c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::fprintf(stderr, "replayed %zu inputs\n", files.size());
  return files.empty() ? 1 : 0;
}
