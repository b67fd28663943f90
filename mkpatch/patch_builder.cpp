// Pairs the two trees' files (without regard to case, as Windows would), hashes and encodes them
// on every core, and lays their data blocks out in path order.
#include "mkpatch/patch_builder.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "mkpatch/reference_finder.h"
#include "mkpatch/test_hooks.h"
#include "mkpatch/tree_walk.h"
#include "patchw32/codec/codec.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/names.h"
#include "patchw32/format/records.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

// Files this large are encoded one at a time with every core; the matcher's memory grows with them.
constexpr uint64_t kLargeJob = 256ull << 20;
// A file made from several old ones is coded against a copy of them joined, which a build holds
// only up to this size; past it, against the first alone.
constexpr uint64_t kJoinedReferencesMax = 256ull << 20;

struct Job {
  payload::FileEntry entry;
  const TreeFile* oldFile = nullptr;
  const TreeFile* newFile = nullptr;
  std::vector<const TreeFile*> references;  // the old files it is coded against, if not its own
  bool unchanged = false;
  uint64_t spoolOffset = 0;
};

// The file's hash, read in pieces whose pages are released as it goes: a large file is not held
// in memory whole.
payload::Hash128 HashOf(const platform::MappedFile& file) {
  constexpr size_t kPiece = size_t{64} << 20;
  payload::StreamingHash128 hash;
  auto bytes = file.Bytes();
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    auto piece = bytes.subspan(at, std::min(kPiece, bytes.size() - at));
    hash.Update(piece);
    file.Release(piece);
  }
  return hash.Digest();
}

std::unique_ptr<platform::MappedFile> Map(const TreeFile& file) {
  auto mapped = platform::MappedFile::Open(file.full);
  if (!mapped) throw std::runtime_error("cannot read " + file.full);
  return mapped;
}

// Appends finished blocks to the spool as they come; the order is fixed later, by path.
// Closed when destroyed, so that the command can read it back (Windows shares no file being written).
class Spool {
 public:
  explicit Spool(const std::string& path)
      : out_(platform::File::Open(path, platform::File::Mode::CreateTruncate)), path_(path) {
    if (!out_) throw std::runtime_error("cannot write " + path);
  }
  uint64_t Append(std::span<const std::byte> bytes) {
    std::lock_guard lock(mutex_);
    uint64_t at = size_;
    if (!out_->WriteAt(at, bytes)) throw std::runtime_error("cannot write " + path_ + " (disk full?)");
    size_ += bytes.size();
    return at;
  }

 private:
  std::unique_ptr<platform::File> out_;
  std::string path_;
  std::mutex mutex_;
  uint64_t size_ = 0;
};

void RunJob(Job& job, const codec::EncodeOptions& options, Spool& spool, const ReferenceFinder* finder) {
  auto& entry = job.entry;
  std::unique_ptr<platform::MappedFile> oldMap, newMap;
  std::span<const std::byte> oldBytes, newBytes;
  if (job.oldFile) {
    oldMap = Map(*job.oldFile);
    oldBytes = oldMap->Bytes();
    entry.oldSize = oldBytes.size();
    entry.oldHash = HashOf(*oldMap);
  }
  if (job.newFile) {
    newMap = Map(*job.newFile);
    newBytes = newMap->Bytes();
    entry.newSize = newBytes.size();
    entry.newHash = HashOf(*newMap);
  }
  if (entry.operation == payload::Operation::Delete) {
    entry.codec = payload::Codec::None;
    return;
  }
  if (entry.operation == payload::Operation::Modify && entry.oldSize == entry.newSize &&
      entry.oldHash == entry.newHash) {
    job.unchanged = true;
    return;
  }
  // A file at a new path is coded against the old files its content came from, if there are any;
  // a changed file also, when another old file holds more of its content than its own does (code
  // moved between files), and that coding is the smaller.
  std::vector<const TreeFile*> references;
  if (finder && !newBytes.empty()) {
    references = finder->Find(newBytes, payload::kMaxReferences, job.oldFile ? job.oldFile->path : std::string());
    // Finding them read the whole new file: its pages go, as the hash's did, until the encoder
    // reads them again.
    newMap->Release(newBytes);
  }
  uint64_t joinedSize = 0;
  for (const auto* reference : references) joinedSize += reference->size;
  while (references.size() > 1 && joinedSize > kJoinedReferencesMax) {
    joinedSize -= references.back()->size;
    references.pop_back();
  }
  if (job.oldFile && !references.empty() && references.front()->path == job.oldFile->path) references.clear();
  std::vector<std::unique_ptr<platform::MappedFile>> referenceMaps;
  std::vector<std::byte> joined;
  for (const auto* reference : references) {
    referenceMaps.push_back(Map(*reference));
    if (references.size() > 1) joined.insert(joined.end(), referenceMaps.back()->Bytes().begin(), referenceMaps.back()->Bytes().end());
  }
  std::span<const std::byte> referenceBytes = references.size() == 1 ? referenceMaps.front()->Bytes() : joined;
  // The encoder says which pages it is done with; they are dropped from whichever file holds them.
  codec::EncodeOptions fileOptions = options;
  fileOptions.release = [&](std::span<const std::byte> bytes) {
    std::vector<const platform::MappedFile*> maps{oldMap.get(), newMap.get()};
    for (const auto& map : referenceMaps) maps.push_back(map.get());
    for (const auto* map : maps) {
      if (map && !bytes.empty() && bytes.data() >= map->Bytes().data() &&
          bytes.data() + bytes.size() <= map->Bytes().data() + map->Bytes().size())
        map->Release(bytes);
    }
  };
  codec::Encoded encoded;
  if (references.empty() || job.oldFile) encoded = codec::EncodeFile(oldBytes, newBytes, fileOptions);
  bool madeFromReferences = false;
  if (!references.empty()) {
    auto fromReferences = codec::EncodeFile(referenceBytes, newBytes, fileOptions);
    madeFromReferences = payload::ReadsOldFile(fromReferences.codec) && !fromReferences.data.empty() &&
                         (encoded.data.empty() || fromReferences.data.size() < encoded.data.size());
    if (madeFromReferences || encoded.data.empty()) encoded = std::move(fromReferences);
  }
  if (encoded.data.empty()) throw std::runtime_error("could not encode " + entry.path);
  if (madeFromReferences) {
    job.references = references;
    entry.flags |= payload::kEntryReference;
    for (size_t i = 0; i < references.size(); ++i)
      entry.references.push_back({references[i]->path, referenceMaps[i]->Bytes().size(), HashOf(*referenceMaps[i])});
  }
  EncodedHook(entry.path, encoded.data);
  entry.codec = encoded.codec;
  entry.dataLength = encoded.data.size();
  entry.dataHash = payload::Hash64(encoded.data);
  job.spoolOffset = spool.Append(encoded.data);
}

// The extensions list holds no empty one, so a name without a dot never matches.
bool HasExpansionExtension(const std::string& path, const std::vector<std::string>& extensions) {
  return std::find(extensions.begin(), extensions.end(), payload::FoldedExtension(path)) != extensions.end();
}

}  // namespace

BuiltPayload BuildPayloadData(const BuildRequest& request, const std::string& spoolFile) {
  auto oldFiles = WalkTree(request.oldTree);
  auto newFiles = WalkTree(request.newTree);
  std::map<std::string, std::pair<const TreeFile*, const TreeFile*>> paired;
  for (const auto& file : oldFiles) paired[payload::FoldName(file.path)].first = &file;
  for (const auto& file : newFiles) paired[payload::FoldName(file.path)].second = &file;

  // A file that becomes a folder (or the other way round) can't be swapped in one rename.
  for (const auto& [key, files] : paired) {
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      if (paired.count(key.substr(0, slash)))
        throw std::runtime_error((files.second ? files.second : files.first)->path + ": " +
                                 key.substr(0, slash) + " is a file in one tree and a folder in the other");
    }
  }

  auto extensions = payload::ExpansionExtensionsOf(request.records);
  std::vector<Job> jobs;
  for (const auto& [key, files] : paired) {
    Job job;
    job.oldFile = files.first;
    job.newFile = files.second;
    job.entry.path = (files.second ? files.second : files.first)->path;
    job.entry.operation = !files.first    ? payload::Operation::Add
                          : !files.second ? payload::Operation::Delete
                                          : payload::Operation::Modify;
    if (HasExpansionExtension(job.entry.path, extensions)) {
      job.entry.flags |= payload::kEntryOptional;
      if (job.entry.operation == payload::Operation::Add && request.warn)
        request.warn(job.entry.path + " is a new expansion file: the engine adds no expansion file that is missing, "
                     "so players will not receive it");
    }
    jobs.push_back(std::move(job));
  }
  std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.entry.path < b.entry.path; });

  unsigned cores = request.threads ? request.threads : std::max(1u, std::thread::hardware_concurrency());
  // An expansion's file is missing where the expansion is not installed: nothing is made from one.
  std::vector<TreeFile> referable;
  for (const auto& file : oldFiles)
    if (!HasExpansionExtension(file.path, extensions)) referable.push_back(file);
  std::optional<ReferenceFinder> finder;
  if (std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.newFile != nullptr; }))
    finder.emplace(referable, cores);
  const ReferenceFinder* references = finder ? &*finder : nullptr;
  Spool spool(spoolFile);
  std::atomic<size_t> finished = 0;
  std::mutex reportMutex;
  auto report = [&](const Job& job) {
    size_t done = ++finished;
    if (!request.progress) return;
    std::lock_guard lock(reportMutex);
    request.progress(done, jobs.size(), job.entry.path);
  };
  auto jobBytes = [](const Job& job) {
    return (job.oldFile ? job.oldFile->size : 0) + (job.newFile ? job.newFile->size : 0);
  };

  // Large files one by one, each with all cores; then the rest side by side, one core each.
  codec::EncodeOptions wide{request.level, cores};
  for (auto& job : jobs) {
    if (jobBytes(job) < kLargeJob) continue;
    RunJob(job, wide, spool, references);
    report(job);
  }
  codec::EncodeOptions narrow{request.level, 1};
  std::atomic<size_t> next = 0;
  std::exception_ptr failure;
  std::mutex failureMutex;
  auto worker = [&] {
    for (;;) {
      size_t i = next++;
      if (i >= jobs.size()) return;
      if (jobBytes(jobs[i]) >= kLargeJob) continue;
      {
        std::lock_guard lock(failureMutex);
        if (failure) return;
      }
      try {
        RunJob(jobs[i], narrow, spool, references);
        report(jobs[i]);
      } catch (...) {
        std::lock_guard lock(failureMutex);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < cores; ++i) workers.emplace_back(worker);
  worker();
  for (auto& thread : workers) thread.join();
  if (failure) std::rethrow_exception(failure);

  BuiltPayload built;
  for (auto& job : jobs) {
    if (job.unchanged) continue;
    job.entry.dataOffset = built.dataLength;
    built.dataLength += job.entry.dataLength;
    built.entries.push_back(job.entry);
    built.spoolOffsets.push_back(job.spoolOffset);
    std::vector<std::string> decodedAgainst;
    for (const auto* reference : job.references) decodedAgainst.push_back(reference->full);
    if (decodedAgainst.empty() && job.oldFile) decodedAgainst.push_back(job.oldFile->full);
    built.oldFiles.push_back(std::move(decodedAgainst));
  }
  return built;
}

}  // namespace mkpatch
