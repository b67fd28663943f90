// The floor of an in-place update: what any updater must at least do to its files, timed with
// nothing else around it. For each pair it reads the old file once, writes the new file's bytes
// once into OUT_DIR and flushes that file (fsync, as the engine flushes each file it writes), so
// no update of the same files can take less. It drops nothing from the page cache.
//
//   orvan-bench-floor PAIRS OUT_DIR      PAIRS: "OLD NEW" lines (an added file's OLD is empty)
//
// The new bytes are copied from the NEW file, which costs a read an updater does not make; on
// files in the page cache that is a memory copy. Prints the seconds the whole pass took.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBufferBytes = 1 << 20;

[[noreturn]] void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(2);
}

// Reads `path` to its end, 1 MiB at a time; when `out` is open, writes each piece to it.
void Stream(const std::string& path, int out, std::vector<char>& buffer) {
  int in = open(path.c_str(), O_RDONLY);
  if (in < 0) Fail(path);
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) Fail(path);
    if (n == 0) break;
    for (ssize_t done = 0; out >= 0 && done < n;) {
      ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w <= 0) Fail("write");
      done += w;
    }
  }
  close(in);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvan-bench-floor PAIRS OUT_DIR\n");
    return 2;
  }
  std::ifstream pairs(argv[1]);
  if (!pairs) Fail(argv[1]);
  std::vector<char> buffer(kBufferBytes);
  auto start = std::chrono::steady_clock::now();
  std::string oldPath, newPath;
  for (int index = 0; pairs >> oldPath >> newPath; ++index) {
    Stream(oldPath, -1, buffer);
    std::string outPath = std::string(argv[2]) + "/" + std::to_string(index);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) Fail(outPath);
    Stream(newPath, out, buffer);
    if (fsync(out) != 0 || close(out) != 0) Fail(outPath);
  }
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", seconds.count());
  return 0;
}
