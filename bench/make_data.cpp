// Writes the bench's generated releases: an old and a new version of a game-like tree, or of one
// large pack file, with the edits a real release makes.
//
//   orvan-bench-data tree DIR [--pack-mib N]     DIR/old and DIR/new
//   orvan-bench-data moves DIR                   DIR/old and DIR/new, files renamed, moved, copied,
//                                                split and merged besides edited
//   orvan-bench-data pack OLD NEW SIZE_MIB       one pack file in two versions
//
// Executables are laid out from a model of functions that call each other and load data, so that
// a changed or inserted function moves the code after it and changes the call displacements and
// addresses that cross it, as a compiler's new build does. Packs are assets one after another,
// some replaced, inserted or removed in the new version.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rng {
  uint64_t x;
  explicit Rng(uint64_t seed) : x(seed * 0x9E3779B97F4A7C15ull + 0x1234567) {}
  uint64_t Next() {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>((Next() >> 16) % n); }
};

void MakeDirs(const std::string& path) {
  for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; ++at) mkdir(path.substr(0, at).c_str(), 0755);
  mkdir(path.c_str(), 0755);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  MakeDirs(path.substr(0, path.rfind('/')));
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

// ---- Assets: what packs and loose data files hold.

enum class Kind : uint8_t { Compressed, Texture, Text };

void AppendAsset(std::vector<uint8_t>& out, Kind kind, size_t size, uint64_t seed) {
  Rng rng(seed);
  size_t start = out.size();
  out.resize(start + size);
  uint8_t* p = out.data() + start;
  static const char* words[] = {"the ", "sword ", "of ", "king ", "quest ", "level ", "spawn ", "enemy ", "door ",
                                "key ", "gold ", "=", "1", "0", "\n", "  ", "if ", "then ", "end ", "local "};
  switch (kind) {
    case Kind::Compressed:  // already-compressed media: nothing to gain
      for (size_t i = 0; i < size; i += 8) {
        uint64_t v = rng.Next();
        std::memcpy(p + i, &v, std::min<size_t>(8, size - i));
      }
      break;
    case Kind::Texture: {  // smooth gradients with noise: compresses about twofold
      uint8_t value = static_cast<uint8_t>(rng.Next());
      for (size_t i = 0; i < size; ++i) {
        if ((i & 3) == 0) value = static_cast<uint8_t>(value + static_cast<int>(rng.Below(7)) - 3);
        p[i] = static_cast<uint8_t>(value + (i & 3) * 40 + rng.Below(3));
      }
      break;
    }
    case Kind::Text:
      for (size_t i = 0; i < size;) {
        const char* w = words[rng.Below(20)];
        for (; *w && i < size; ++w) p[i++] = static_cast<uint8_t>(*w);
      }
      break;
  }
}

struct Asset {
  Kind kind;
  uint32_t size;
  uint64_t seed;
  uint32_t patchSeed = 0;  // non-zero: a few bytes of it changed in this version
};

std::vector<Asset> PackAssets(uint64_t totalBytes, uint64_t seed) {
  Rng rng(seed);
  std::vector<Asset> assets;
  for (uint64_t sum = 0; sum < totalBytes;) {
    uint32_t r = rng.Below(10);
    Kind kind = r < 6 ? Kind::Compressed : r < 9 ? Kind::Texture : Kind::Text;
    uint32_t size = (64u << 10) + rng.Below(4u << 20);
    assets.push_back({kind, size, rng.Next()});
    sum += size;
  }
  return assets;
}

// The next release's pack: some assets replaced, inserted, removed or touched in place.
std::vector<Asset> EditPack(const std::vector<Asset>& old, uint64_t seed) {
  Rng rng(seed);
  std::vector<Asset> out;
  for (const Asset& a : old) {
    uint32_t r = rng.Below(100);
    if (r < 2) continue;  // removed
    if (r < 7) {          // replaced by new content
      out.push_back({a.kind, (64u << 10) + rng.Below(4u << 20), rng.Next()});
      continue;
    }
    Asset kept = a;
    if (r < 12) kept.patchSeed = static_cast<uint32_t>(rng.Next() | 1);
    out.push_back(kept);
    if (rng.Below(100) < 3) out.push_back({Kind::Compressed, (64u << 10) + rng.Below(2u << 20), rng.Next()});
  }
  return out;
}

void WriteAsset(FILE* f, const Asset& a, std::vector<uint8_t>& buffer) {
  buffer.clear();
  AppendAsset(buffer, a.kind, a.size, a.seed);
  if (a.patchSeed) {
    Rng rng(a.patchSeed);
    for (int i = 0; i < 16; ++i) buffer[rng.Below(a.size)] ^= static_cast<uint8_t>(1 + rng.Below(255));
  }
  if (std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) {
    std::perror("write");
    std::exit(1);
  }
}

void WritePack(const std::string& path, const std::vector<Asset>& assets) {
  MakeDirs(path.substr(0, path.rfind('/')));
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::vector<uint8_t> buffer;
  for (const Asset& a : assets) WriteAsset(f, a, buffer);
  std::fclose(f);
}

// ---- Executables: functions that call each other and load data, laid out in a row.

struct Instruction {
  uint8_t kind;  // 0 plain bytes, 1 call (E8 rel32), 2 load of a data address (8B 05 abs32), 3 short jump
  uint8_t length;
  uint8_t bytes[4];
  uint32_t target;  // function index or data index
};
struct Function {
  std::vector<Instruction> body;
};
struct Program {
  std::vector<Function> functions;
  std::vector<std::vector<uint8_t>> data;  // strings and tables after the code
};

Function MakeFunction(Rng& rng, uint32_t functions, uint32_t dataItems, uint32_t self) {
  Function f;
  static const uint8_t opcodes[] = {0x48, 0x89, 0x8b, 0x83, 0x0f, 0x85, 0x74, 0x31, 0xc0, 0x55, 0x5d, 0xc3, 0x90};
  uint32_t count = 8 + rng.Below(50);
  for (uint32_t i = 0; i < count; ++i) {
    Instruction in{};
    uint32_t r = rng.Below(100);
    if (r < 55) {
      in.kind = 0;
      in.length = static_cast<uint8_t>(1 + rng.Below(4));
      for (int k = 0; k < in.length; ++k) in.bytes[k] = k == 0 ? opcodes[rng.Below(13)] : static_cast<uint8_t>(rng.Below(16));
    } else if (r < 80) {
      in.kind = 1;
      in.length = 5;
      // Calls go mostly to nearby functions, as in real modules.
      int64_t t = static_cast<int64_t>(self) + static_cast<int64_t>(rng.Below(400)) - 200;
      in.target = rng.Below(8) == 0 ? rng.Below(functions) : static_cast<uint32_t>(std::clamp<int64_t>(t, 0, functions - 1));
    } else if (r < 92) {
      in.kind = 2;
      in.length = 6;
      in.target = rng.Below(dataItems);
    } else {
      in.kind = 3;
      in.length = 2;
      in.bytes[0] = static_cast<uint8_t>(rng.Below(64));
    }
    f.body.push_back(in);
  }
  return f;
}

Program MakeProgram(size_t size, uint64_t seed) {
  Rng rng(seed);
  uint32_t functions = static_cast<uint32_t>(std::max<size_t>(size * 9 / 10 / 150, 16));
  uint32_t dataItems = functions / 4 + 1;
  Program p;
  for (uint32_t i = 0; i < functions; ++i) p.functions.push_back(MakeFunction(rng, functions, dataItems, i));
  for (uint32_t i = 0; i < dataItems; ++i) {
    std::vector<uint8_t> item;
    AppendAsset(item, rng.Below(2) ? Kind::Text : Kind::Texture, 8 + rng.Below(120), rng.Next());
    p.data.push_back(item);
  }
  return p;
}

// The next build: some functions changed, a few new and a few gone, some new data.
Program EditProgram(const Program& old, uint64_t seed) {
  Rng rng(seed);
  Program p = old;
  uint32_t n = static_cast<uint32_t>(p.functions.size());
  uint32_t dataItems = static_cast<uint32_t>(p.data.size());
  for (uint32_t i = 0; i < n / 50 + 1; ++i) p.functions[rng.Below(n)] = MakeFunction(rng, n, dataItems, rng.Below(n));
  for (uint32_t i = 0; i < n / 100 + 1; ++i)
    p.functions.insert(p.functions.begin() + rng.Below(n), MakeFunction(rng, n, dataItems, rng.Below(n)));
  for (uint32_t i = 0; i < n / 200 + 1; ++i) p.functions[rng.Below(n)].body.clear();  // removed: calls to it stay valid
  for (uint32_t i = 0; i < dataItems / 50 + 1; ++i) {
    std::vector<uint8_t> item;
    AppendAsset(item, Kind::Text, 8 + rng.Below(120), rng.Next());
    p.data.insert(p.data.begin() + rng.Below(dataItems), item);
  }
  return p;
}

std::vector<uint8_t> Link(const Program& p, uint32_t imageBase) {
  std::vector<uint32_t> functionAt, dataAt;
  uint32_t at = 0x400;  // after the headers
  for (const auto& f : p.functions) {
    functionAt.push_back(at);
    for (const auto& in : f.body) at += in.length;
    at = (at + 15) & ~15u;
  }
  for (const auto& d : p.data) {
    dataAt.push_back(at);
    at += static_cast<uint32_t>(d.size());
  }
  std::vector<uint8_t> out(0x400, 0);
  std::memcpy(out.data(), "MZ\x90\0", 4);
  out[0x3c] = 0x80;  // where the PE header starts
  std::memcpy(out.data() + 0x80, "PE\0\0\x4c\x01", 6);  // machine: 32-bit x86
  auto put32 = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  for (size_t i = 0; i < p.functions.size(); ++i) {
    for (const auto& in : p.functions[i].body) {
      uint32_t here = static_cast<uint32_t>(out.size());
      switch (in.kind) {
        case 0: out.insert(out.end(), in.bytes, in.bytes + in.length); break;
        case 1: out.push_back(0xe8); put32(functionAt[in.target] - (here + 5)); break;
        case 2:
          out.push_back(0x8b);
          out.push_back(0x05);
          put32(imageBase + dataAt[in.target % dataAt.size()]);
          break;
        case 3: out.push_back(0xeb); out.push_back(in.bytes[0]); break;
      }
    }
    while (out.size() % 16) out.push_back(0xcc);
  }
  for (const auto& d : p.data) out.insert(out.end(), d.begin(), d.end());
  return out;
}

void WriteProgramPair(const std::string& dir, const std::string& name, size_t size, uint64_t seed) {
  Program old = MakeProgram(size, seed);
  WriteFile(dir + "/old/" + name, Link(old, 0x400000));
  WriteFile(dir + "/new/" + name, Link(EditProgram(old, seed + 1), 0x400000));
}

// ---- The tree.

void WriteTree(const std::string& dir, uint64_t packMiB) {
  Rng rng(7);
  WriteProgramPair(dir, "Game.exe", 8u << 20, 1);
  WriteProgramPair(dir, "engine.dll", 4u << 20, 2);
  for (int i = 0; i < 20; ++i)
    WriteProgramPair(dir, "bin/module" + std::to_string(i) + ".dll", (256u << 10) + rng.Below(2u << 20), 10 + i);

  auto pack = PackAssets(packMiB << 20, 3);
  WritePack(dir + "/old/data/pack0.pak", pack);
  WritePack(dir + "/new/data/pack0.pak", EditPack(pack, 4));

  // Loose textures: most unchanged, some replaced, a few added and removed.
  for (int i = 0; i < 110; ++i) {
    std::string name = "data/textures/t" + std::to_string(i) + ".tex";
    Kind kind = i % 3 ? Kind::Compressed : Kind::Texture;
    uint32_t size = (32u << 10) + rng.Below(1u << 20);
    std::vector<uint8_t> old, neu;
    AppendAsset(old, kind, size, 100 + i);
    uint32_t r = rng.Below(100);
    if (r < 15) AppendAsset(neu, kind, size + rng.Below(4096), 500 + i);  // replaced
    else neu = old;
    if (i < 105) WriteFile(dir + "/old/" + name, old);
    if (i % 37 != 5) WriteFile(dir + "/new/" + name, i < 105 ? neu : old);
  }
  // Scripts: text, a tenth of them edited in a few places.
  for (int i = 0; i < 160; ++i) {
    std::string name = "scripts/s" + std::to_string(i) + ".lua";
    std::vector<uint8_t> old;
    AppendAsset(old, Kind::Text, 2048 + rng.Below(40000), 1000 + i);
    std::vector<uint8_t> neu = old;
    if (rng.Below(10) == 0) {
      for (int k = 0; k < 5; ++k) {
        size_t at = rng.Below(static_cast<uint32_t>(neu.size()));
        std::vector<uint8_t> insert;
        AppendAsset(insert, Kind::Text, 10 + rng.Below(300), 2000 + i * 10 + k);
        neu.insert(neu.begin() + at, insert.begin(), insert.end());
      }
    }
    WriteFile(dir + "/old/" + name, old);
    WriteFile(dir + "/new/" + name, neu);
  }
  for (int i = 0; i < 8; ++i) {
    std::vector<uint8_t> old;
    AppendAsset(old, Kind::Text, 500 + rng.Below(3000), 3000 + i);
    WriteFile(dir + "/old/config/c" + std::to_string(i) + ".ini", old);
    if (i == 3) old.push_back('\n');
    WriteFile(dir + "/new/config/c" + std::to_string(i) + ".ini", old);
  }
}

// ---- The moves tree: a release that reorganises its files besides editing them.

// Every asset of a file with a few bytes changed, so that a moved file is also an edited one.
std::vector<Asset> Touched(std::vector<Asset> assets, uint64_t seed) {
  Rng rng(seed);
  for (Asset& a : assets) a.patchSeed = static_cast<uint32_t>(rng.Next() | 1);
  return assets;
}

std::vector<Asset> OneAsset(Kind kind, uint32_t size, uint64_t seed) { return {{kind, size, seed}}; }

// Text scripts in a folder, a tenth edited in a few places; the first MOVED of them are found at
// NEW_FOLDER in the new release.
void WriteScripts(const std::string& dir, Rng& rng, int count, int moved, const std::string& newFolder) {
  for (int i = 0; i < count; ++i) {
    std::string name = "s" + std::to_string(i) + ".lua";
    std::vector<uint8_t> old;
    AppendAsset(old, Kind::Text, 2048 + rng.Below(30000), 5000 + i);
    std::vector<uint8_t> neu = old;
    if (rng.Below(10) == 0) {
      for (int k = 0; k < 4; ++k) {
        std::vector<uint8_t> insert;
        AppendAsset(insert, Kind::Text, 10 + rng.Below(300), 6000 + i * 10 + k);
        neu.insert(neu.begin() + rng.Below(static_cast<uint32_t>(neu.size())), insert.begin(), insert.end());
      }
    }
    WriteFile(dir + "/old/scripts/" + name, old);
    WriteFile(dir + "/new/" + (i < moved ? newFolder : "scripts") + "/" + name, neu);
  }
}

void WriteMovesTree(const std::string& dir) {
  Rng rng(21);
  auto both = [&](const std::string& oldPath, const std::vector<Asset>& oldAssets, const std::string& newPath,
                  const std::vector<Asset>& newAssets) {
    WritePack(dir + "/old/" + oldPath, oldAssets);
    WritePack(dir + "/new/" + newPath, newAssets);
  };
  // Edited where they are.
  WriteProgramPair(dir, "Game.exe", 8u << 20, 41);
  WriteProgramPair(dir, "bin/engine.dll", 4u << 20, 42);
  auto common = PackAssets(32u << 20, 43);
  both("data/common.pak", common, "data/common.pak", EditPack(common, 44));

  // Renamed in their folder: two music tracks unchanged, one edited; the rest stay.
  static const char* renamed[] = {"menu_theme.ogg", "battle_theme.ogg", "credits_theme.ogg"};
  for (int i = 0; i < 6; ++i) {
    auto track = OneAsset(Kind::Compressed, (2u << 20) + rng.Below(3u << 20), 7000 + i);
    std::string old = "data/music/track" + std::to_string(i) + ".ogg";
    both(old, track, i < 3 ? "data/music/" + std::string(renamed[i]) : old, i == 2 ? Touched(track, 7100) : track);
  }
  // Moved to another folder: the intro unchanged, the credits edited.
  auto intro = PackAssets(16u << 20, 45);
  both("data/video/intro.bik", intro, "movies/intro.bik", intro);
  auto credits = PackAssets(6u << 20, 46);
  both("data/video/credits.bik", credits, "movies/credits.bik", Touched(credits, 47));

  // Copied to two places: one font, found in two folders of the new release and no longer in its own.
  auto font = OneAsset(Kind::Texture, 2u << 20, 48);
  WritePack(dir + "/old/data/fonts/main.fnt", font);
  WritePack(dir + "/new/ui/fonts/main.fnt", font);
  WritePack(dir + "/new/hud/main.fnt", font);

  // Split: one level pack into two, its first half as it was and its second half edited.
  auto world = PackAssets(24u << 20, 49);
  std::vector<Asset> firstHalf(world.begin(), world.begin() + world.size() / 2);
  std::vector<Asset> secondHalf(world.begin() + world.size() / 2, world.end());
  WritePack(dir + "/old/data/levels/world.pak", world);
  WritePack(dir + "/new/data/levels/world_a.pak", firstHalf);
  WritePack(dir + "/new/data/levels/world_b.pak", EditPack(secondHalf, 50));

  // Merged: two sound packs into one, one after the other, edited.
  auto sfx1 = PackAssets(12u << 20, 51), sfx2 = PackAssets(10u << 20, 52);
  WritePack(dir + "/old/data/sound/sfx1.pak", sfx1);
  WritePack(dir + "/old/data/sound/sfx2.pak", sfx2);
  std::vector<Asset> merged = sfx1;
  merged.insert(merged.end(), sfx2.begin(), sfx2.end());
  WritePack(dir + "/new/data/sound/sfx.pak", EditPack(merged, 53));

  // A folder moved whole: textures/ becomes art/textures/, a tenth of them replaced on the way;
  // two textures added and one removed.
  for (int i = 0; i < 42; ++i) {
    Kind kind = i % 3 ? Kind::Compressed : Kind::Texture;
    uint32_t size = (64u << 10) + rng.Below(1u << 20);
    std::string name = "t" + std::to_string(i) + ".tex";
    auto old = OneAsset(kind, size, 8000 + i);
    auto neu = rng.Below(10) == 0 ? OneAsset(kind, size + rng.Below(4096), 8500 + i) : old;
    if (i < 40) WritePack(dir + "/old/data/textures/" + name, old);
    if (i != 7) WritePack(dir + "/new/art/textures/" + name, neu);
  }
  // Scripts: a fifth moved into a new folder, a tenth edited.
  WriteScripts(dir, rng, 100, 20, "scripts/ai");
  // A config file edited, another removed.
  std::vector<uint8_t> config;
  AppendAsset(config, Kind::Text, 1500, 9000);
  WriteFile(dir + "/old/config/game.ini", config);
  WriteFile(dir + "/old/config/legacy.ini", config);
  config.insert(config.end(), {'f', 'o', 'v', '=', '9', '0', '\n'});
  WriteFile(dir + "/new/config/game.ini", config);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "tree") == 0) {
    uint64_t packMiB = 280;
    if (argc == 5 && std::strcmp(argv[3], "--pack-mib") == 0) packMiB = std::strtoull(argv[4], nullptr, 10);
    WriteTree(argv[2], packMiB);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "moves") == 0) {
    WriteMovesTree(argv[2]);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "pack") == 0) {
    auto pack = PackAssets(std::strtoull(argv[4], nullptr, 10) << 20, 11);
    WritePack(argv[2], pack);
    WritePack(argv[3], EditPack(pack, 12));
    return 0;
  }
  std::fprintf(stderr, "usage: orvan-bench-data tree DIR [--pack-mib N] | moves DIR | pack OLD NEW SIZE_MIB\n");
  return 2;
}
