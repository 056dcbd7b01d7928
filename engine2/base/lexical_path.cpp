#include "base/lexical_path.h"

namespace quenwick {
namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
constexpr std::u16string_view kLongUncPrefix = u"\\\\?\\UNC\\";
// The server and the share of a UNC path.
constexpr std::size_t kUncRootNames = 2;

// Calls `onName` for each name of `path` between "\" separators, empty ones
// included.
template <class OnName>
void ForEachName(std::u16string_view path, OnName onName) {
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    onName(path.substr(pos, end - pos));
    pos = end + 1;
  }
}

}  // namespace

std::vector<std::u16string_view> ResolvedNames(std::u16string_view path, std::size_t fixedNames) {
  std::vector<std::u16string_view> names;
  ForEachName(path, [&](std::u16string_view name) {
    if (name.empty() || name == u".") return;
    if (name != u"..") {
      names.push_back(name);
    } else if (names.size() > fixedNames) {
      names.pop_back();
    }
  });
  return names;
}

bool HasDotName(std::u16string_view path) {
  bool found = false;
  ForEachName(path, [&](std::u16string_view name) { found = found || name == u"." || name == u".."; });
  return found;
}

std::u16string ResolveDots(std::u16string_view path) {
  std::u16string root;
  std::size_t fixedNames = 0;
  if (path.size() >= 2 && path[1] == u':') {
    root = path.substr(0, 2);
    root += u'\\';
    path.remove_prefix(2);
  } else if (path.starts_with(u"\\\\")) {
    root = u"\\\\";
    fixedNames = kUncRootNames;
    path.remove_prefix(2);
  } else if (path.starts_with(u'\\')) {
    root = u"\\";
    path.remove_prefix(1);
  }
  std::u16string out = root;
  const std::vector<std::u16string_view> names = ResolvedNames(path, fixedNames);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += u'\\';
    out += names[i];
  }
  return out;
}

std::u16string WithoutLongPrefix(std::u16string_view path) {
  if (path.starts_with(kLongUncPrefix)) return u"\\\\" + std::u16string(path.substr(kLongUncPrefix.size()));
  if (path.starts_with(kLongPathPrefix)) return std::u16string(path.substr(kLongPathPrefix.size()));
  return std::u16string(path);
}

std::u16string WithBackslashes(std::u16string_view path) {
  std::u16string text(path);
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

std::u16string ResolvePathDots(std::u16string_view path) {
  return ResolveDots(WithBackslashes(WithoutLongPrefix(path)));
}

}  // namespace quenwick
