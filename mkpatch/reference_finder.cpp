// Content fingerprints of every old file in one sorted table; a new file votes for the old files
// that hold its fingerprints.
#include "mkpatch/reference_finder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/files.h"

namespace mkpatch {
namespace {

// A fingerprint held by more old files than this says nothing of where a file came from (runs of
// zeros, a common header).
constexpr size_t kCommonFiles = 8;
// Old files are read in pieces of this, their pages dropped after each.
constexpr size_t kPieceBytes = size_t{64} << 20;

constexpr std::array<uint64_t, 256> GearTable() {
  std::array<uint64_t, 256> table{};
  uint64_t state = 0x6f7276616e726566;  // any fixed seed: the fingerprints must not change between builds
  for (auto& value : table) {
    uint64_t z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    value = z ^ (z >> 31);
  }
  return table;
}
constexpr std::array<uint64_t, 256> kGear = GearTable();

// Each byte shifts the hash left by one, so the top bits depend on the last 64 bytes only.
class Sampler {
 public:
  void Add(std::span<const std::byte> bytes, std::vector<uint64_t>& out) {
    for (std::byte b : bytes) {
      hash_ = (hash_ << 1) + kGear[static_cast<uint8_t>(b)];
      if (++seen_ >= 64 && (hash_ >> 55) == 0) out.push_back(hash_);
    }
  }

 private:
  uint64_t hash_ = 0;
  uint64_t seen_ = 0;
};

void SortUnique(std::vector<uint64_t>& values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
}

}  // namespace

std::vector<uint64_t> Fingerprints(std::span<const std::byte> bytes) {
  std::vector<uint64_t> out;
  Sampler sampler;
  sampler.Add(bytes, out);
  SortUnique(out);
  return out;
}

ReferenceFinder::ReferenceFinder(const std::vector<TreeFile>& oldFiles, unsigned threads) : oldFiles_(oldFiles) {
  std::vector<std::vector<uint64_t>> perFile(oldFiles.size());
  std::atomic<size_t> next = 0;
  std::atomic<bool> failed = false;
  auto work = [&] {
    for (size_t i; !failed && (i = next++) < oldFiles.size();) {
      auto mapped = platform::MappedFile::Open(oldFiles[i].full);
      if (!mapped) {
        failed = true;
        return;
      }
      Sampler sampler;
      auto bytes = mapped->Bytes();
      for (size_t at = 0; at < bytes.size(); at += kPieceBytes) {
        auto piece = bytes.subspan(at, std::min(kPieceBytes, bytes.size() - at));
        sampler.Add(piece, perFile[i]);
        mapped->Release(piece);
      }
      SortUnique(perFile[i]);
    }
  };
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < std::max(1u, threads); ++t) workers.emplace_back(work);
  work();
  for (auto& worker : workers) worker.join();
  if (failed) throw std::runtime_error("cannot read the old files to find where new ones came from");

  size_t total = 0;
  for (const auto& prints : perFile) total += prints.size();
  table_.reserve(total);
  for (uint32_t file = 0; file < perFile.size(); ++file)
    for (uint64_t print : perFile[file]) table_.push_back({print, file});
  std::sort(table_.begin(), table_.end());
}

std::vector<const TreeFile*> ReferenceFinder::Find(std::span<const std::byte> newBytes, size_t most,
                                                   const std::string& ownPath) const {
  auto prints = Fingerprints(newBytes);
  // The old files that hold each print (not too common to say anything).
  std::vector<std::span<const std::pair<uint64_t, uint32_t>>> holders;
  for (uint64_t print : prints) {
    auto [first, last] = std::equal_range(table_.begin(), table_.end(), std::pair<uint64_t, uint32_t>{print, 0},
                                          [](const auto& a, const auto& b) { return a.first < b.first; });
    if (first != last && static_cast<size_t>(last - first) <= kCommonFiles) holders.push_back({first, last});
  }
  // A changed file's own old file, when it is one of them, wins a tie (below).
  auto ownFile = std::find_if(oldFiles_.begin(), oldFiles_.end(), [&](const TreeFile& f) { return f.path == ownPath; });
  auto own = ownPath.empty() || ownFile == oldFiles_.end() ? SIZE_MAX : static_cast<size_t>(ownFile - oldFiles_.begin());
  std::vector<const TreeFile*> found;
  std::vector<bool> held(holders.size());
  while (found.size() < most) {
    std::vector<uint32_t> votes(oldFiles_.size());
    for (size_t i = 0; i < holders.size(); ++i)
      if (!held[i])
        for (const auto& [print, file] : holders[i]) ++votes[file];
    auto best = std::max_element(votes.begin(), votes.end());  // the first of equals
    // A file's own old file that ties with another (a bundle holding a copy of it, say) is the one
    // to code against: the builder then codes the file once, not against both.
    if (own != SIZE_MAX && best != votes.end() && votes[own] == *best) best = votes.begin() + static_cast<std::ptrdiff_t>(own);
    if (best == votes.end() || *best == 0 || uint64_t{*best} * (found.empty() ? 8 : 16) < prints.size()) break;
    auto file = static_cast<uint32_t>(best - votes.begin());
    found.push_back(&oldFiles_[file]);
    for (size_t i = 0; i < holders.size(); ++i)
      for (const auto& holder : holders[i]) held[i] = held[i] || holder.second == file;
  }
  return found;
}

}  // namespace mkpatch
