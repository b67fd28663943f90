// ASCII case folding of file names.
#include "patchw32/format/names.h"

#include <algorithm>

namespace payload {
namespace {

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FoldName(std::string_view name) {
  std::string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldChar);
  return folded;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return FoldChar(x) == FoldChar(y); });
}

bool EndsWithName(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameName(text.substr(text.size() - suffix.size()), suffix);
}

std::string FoldedExtension(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : FoldName(name.substr(dot + 1));
}

}  // namespace payload
