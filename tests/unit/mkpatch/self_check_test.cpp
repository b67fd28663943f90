// The builder's self-check: an entry whose data does not decode to its new file stops the build,
// with one line naming the file, and leaves no updater, partial file or spool behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "mkpatch/build_command.h"
#include "mkpatch/test_hooks.h"

namespace {

namespace fs = std::filesystem;

class Workspace {
 public:
  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "mkpatch-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path operator/(const std::string& name) const { return root_ / name; }
  // What the folder holds, top level only.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(root_)) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path root_;
};

void WriteFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

std::string Random(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A release pair whose files take different codecs: a pack with an asset replaced (covers), a
// text rewritten (zstd) and an added file.
void MakeReleases(const Workspace& work) {
  std::string pack = Random(300000, 1);
  std::string newPack = pack;
  newPack.replace(100000, 5000, Random(5000, 2));
  WriteFile(work / "old/data/pack.dat", pack);
  WriteFile(work / "new/data/pack.dat", newPack);
  WriteFile(work / "old/readme.txt", "Orvan 1.1.0\nThank you for playing.\n");
  WriteFile(work / "new/readme.txt", "Orvan 1.2.0\nNew maps, and thank you for playing.\n");
  WriteFile(work / "new/maps/isle06.map", Random(9000, 3));
  WriteFile(work / "records.txt", "Versions,Orvan,Orvan.exe,1.1.0,1.2.0\n");
  WriteFile(work / "stub", "a stand-in for the updater program\n");
}

std::vector<std::string> BuildArguments(const Workspace& work, bool verify) {
  std::vector<std::string> args = {"--old", (work / "old").string(), "--new", (work / "new").string(),
                                   "--records", (work / "records.txt").string(), "--stub",
                                   (work / "stub").string(), "--out", (work / "updater").string(),
                                   "--level", "3"};
  if (!verify) args.push_back("--no-verify");
  return args;
}

// Damages one entry's encoded data, as a faulty encoder would.
struct Damage {
  const char* name;
  const char* path;
  std::function<void(std::vector<std::byte>&)> apply;
};

class HookGuard {
 public:
  explicit HookGuard(mkpatch::EncodedHandler handler) { mkpatch::SetEncodedHandler(std::move(handler)); }
  ~HookGuard() { mkpatch::SetEncodedHandler(nullptr); }
};

TEST(SelfCheck, RefusesToWriteAnUpdaterWhoseEntryDoesNotDecodeToItsNewFile) {
  auto flipMiddle = [](std::vector<std::byte>& data) { data[data.size() / 2] ^= std::byte{0x20}; };
  auto cutLast = [](std::vector<std::byte>& data) { data.pop_back(); };
  const Damage damages[] = {
      {"a flipped byte in the pack's covers", "data/pack.dat", flipMiddle},
      {"the pack's covers cut short", "data/pack.dat", cutLast},
      {"a flipped byte in the rewritten text", "readme.txt", flipMiddle},
      {"an added file's data cut short", "maps/isle06.map", cutLast},
  };
  for (const auto& damage : damages) {
    Workspace work;
    MakeReleases(work);
    int damaged = 0;
    HookGuard hook([&](const std::string& path, std::vector<std::byte>& data) {
      if (path != damage.path) return;
      damage.apply(data);
      ++damaged;
    });

    std::string message;
    try {
      mkpatch::BuildCommand(BuildArguments(work, true), "");
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(damaged, 1) << damage.name;
    EXPECT_NE(message.find("self-check failed for " + std::string(damage.path)), std::string::npos)
        << damage.name << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << damage.name << ": " << message;
    EXPECT_EQ(work.Names(), (std::vector<std::string>{"new", "old", "records.txt", "stub"}))
        << damage.name << ": something was left behind";

    // Without the check the same damage is written: the check is what stopped it.
    EXPECT_EQ(mkpatch::BuildCommand(BuildArguments(work, false), ""), 0) << damage.name;
    EXPECT_TRUE(fs::exists(work / "updater")) << damage.name;
  }
}

}  // namespace
