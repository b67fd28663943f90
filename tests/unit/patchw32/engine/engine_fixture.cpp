// The engine tests' fixture: trees, the real builder, and the scripted callback.
#include "tests/unit/patchw32/engine/engine_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "mkpatch/build_command.h"

namespace enginetest {

namespace {

Script* activeScript = nullptr;
int64_t callIndex = 0;

const char* PATCHW32_CALL Callback(uint32_t messageId, void* parameter) {
  Event event;
  event.id = static_cast<int8_t>(messageId & 0xFF);
  if ((event.id == 2 || event.id == 4 || event.id == 7 || event.id == 9) && parameter)
    event.text = static_cast<const char*>(parameter);
  if ((event.id == 5 || event.id == 6) && parameter) event.number = *static_cast<const uint32_t*>(parameter);
  Script& script = *activeScript;
  script.events.push_back(event);
  int64_t index = callIndex++;
  if (index == script.stopAt) return nullptr;
  if (event.id == 4) {
    bool storage = event.text.find("Insufficient Storage") != std::string::npos;
    return storage && script.goOnAfterStorage ? "" : nullptr;
  }
  if (event.id == 13 || event.id == 14) return nullptr;
  if (event.id == 19) return "Y";
  return "";
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "engine-test-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files and folders left by a test must not stop the clean-up.
  for (auto& item : fs::recursive_directory_iterator(path_, ignored))
    fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteTree(const fs::path& root, const Tree& tree) {
  fs::create_directories(root);
  for (const auto& [path, contents] : tree) {
    if (path.ends_with('/')) fs::create_directories(root / path);
    else WriteFile(root / path, contents);
  }
}

Tree ReadTree(const fs::path& root) {
  Tree tree;
  for (auto& item : fs::recursive_directory_iterator(root)) {
    std::string path = item.path().lexically_relative(root).generic_string();
    if (item.is_directory()) tree[path + "/"] = "";
    else if (item.is_regular_file()) tree[path] = ReadFile(item.path());
    else tree[path] = "(not a file)";  // never opened: a named pipe would block the read
  }
  return tree;
}

void ResetTree(const fs::path& root, const Tree& tree) {
  // The root itself stays: a journal is bound to its folder, not to the folder's path.
  std::error_code ignored;
  if (fs::is_directory(root))
    for (auto& item : fs::directory_iterator(root)) fs::remove_all(item.path(), ignored);
  WriteTree(root, tree);
}

std::string CodeLike(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 7 == 0 ? random() : (i * 31) >> 3);
  return bytes;
}

fs::path BuildUpdater(const fs::path& work, const Tree& oldTree, const Tree& newTree,
                      const std::vector<std::string>& records) {
  static int count = 0;
  fs::path folder = work / ("build" + std::to_string(++count));
  ResetTree(folder / "old", oldTree);
  ResetTree(folder / "new", newTree);
  std::string lines;
  for (const auto& record : records) lines += record + "\n";
  WriteFile(folder / "records.txt", lines);
  WriteFile(folder / "stub", "a stand-in for the updater program\n");
  fs::path out = folder / "updater";
  int result = mkpatch::BuildCommand({"--old", (folder / "old").string(), "--new", (folder / "new").string(),
                                      "--records", (folder / "records.txt").string(), "--stub",
                                      (folder / "stub").string(), "--out", out.string(), "--level", "3"},
                                     "");
  if (result != 0) throw std::runtime_error("the builder failed");
  return out;
}

int32_t RunPass(const fs::path& updater, const fs::path& folder, const std::string& passArguments, Script& script) {
  std::string commandLine = "/z \"" + updater.string() + "\" \"" + folder.string() + "\" -i " + passArguments;
  activeScript = &script;
  callIndex = 0;
  script.events.clear();
  int32_t result = PatchApply32(commandLine.c_str(), Callback, 1);
  activeScript = nullptr;
  return result;
}

namespace {

void WriteAll(int fd, const void* data, size_t size) {
  auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, bytes, size);
    if (n <= 0) _exit(2);
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

bool ReadAll(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = read(fd, bytes, size);
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int32_t RunPassWithTimeout(const fs::path& updater, const fs::path& folder, const std::string& passArguments,
                           Script& script, unsigned seconds) {
  int channel[2];
  if (pipe(channel) != 0) throw std::runtime_error("pipe failed");
  pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    alarm(seconds);
    int32_t result = RunPass(updater, folder, passArguments, script);
    WriteAll(channel[1], &result, sizeof result);
    for (const auto& event : script.events) {
      uint32_t length = static_cast<uint32_t>(event.text.size());
      WriteAll(channel[1], &event.id, sizeof event.id);
      WriteAll(channel[1], &event.number, sizeof event.number);
      WriteAll(channel[1], &length, sizeof length);
      WriteAll(channel[1], event.text.data(), length);
    }
    _exit(0);
  }
  close(channel[1]);
  script.events.clear();
  int32_t result = -1;
  bool ended = ReadAll(channel[0], &result, sizeof result);
  Event event;
  uint32_t length = 0;
  while (ended && ReadAll(channel[0], &event.id, sizeof event.id) &&
         ReadAll(channel[0], &event.number, sizeof event.number) && ReadAll(channel[0], &length, sizeof length)) {
    event.text.assign(length, '\0');
    if (!ReadAll(channel[0], event.text.data(), length)) break;
    script.events.push_back(event);
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : -1;
}

std::string Summary(const std::vector<Event>& events) {
  std::string out;
  for (size_t i = 0; i < events.size(); ++i) {
    const auto& event = events[i];
    if (event.id == 5 && i > 0 && events[i - 1].id == 5) continue;
    std::string item = std::to_string(event.id);
    if (event.id == 6) item += ":" + std::to_string(event.number);
    if (event.id == 7) item += ":" + event.text;
    if (event.id == 9)
      item += event.text.starts_with("Applying") ? ":Applying"
              : event.text.find("New Version") != std::string::npos ? ":New"
                                                                     : ":?";
    out += (out.empty() ? "" : " ") + item;
  }
  return out;
}

const Event* FindText(const std::vector<Event>& events, int id, const std::string& phrase) {
  for (const auto& event : events)
    if (event.id == id && event.text.find(phrase) != std::string::npos) return &event;
  return nullptr;
}

}  // namespace enginetest
