#include "platform/sim/sim_paths.h"

#include <algorithm>

#include "base/lexical_path.h"
#include "base/text.h"

namespace quenwick::sim::detail {
namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

bool IsSeparator(char16_t c) { return c == u'\\'; }

bool IsForbiddenInName(char16_t c, bool allowWildcards) {
  if (c < 0x20) return true;
  switch (c) {
    case u':':
    case u'|':
      return true;
    case u'<':
    case u'>':
    case u'"':
    case u'*':
    case u'?':
      return !allowWildcards;
    default:
      return false;
  }
}

// FindFirstFileW hands the pattern to the file system after turning "?" into
// DOS_QM, "*" before a "." into DOS_STAR and a "." before a wildcard or at
// the end into DOS_DOT; "*.*" becomes "*".
enum Token : char32_t {
  kStar = 0x110000,
  kDosStar,
  kDosQm,
  kDosDot,
};

std::u32string Translate(std::u16string_view pattern) {
  std::u32string out;
  if (pattern == u"*.*") return std::u32string(1, kStar);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
    if (c == u'?' || c == u'>') {
      out += kDosQm;
    } else if (c == u'*' && next == u'.') {
      out += kDosStar;
    } else if (c == u'<') {
      out += kDosStar;
    } else if (c == u'*') {
      out += kStar;
    } else if ((c == u'.' && (next == u'?' || next == u'*' || next == u'\0')) || c == u'"') {
      out += kDosDot;
    } else {
      out += static_cast<char32_t>(ToUpperAscii(c));
    }
  }
  return out;
}

bool Match(const std::u32string& p, std::size_t pi, std::u16string_view name, std::size_t ni,
           std::size_t lastDot) {
  while (pi < p.size()) {
    const char32_t t = p[pi];
    if (t == kStar) {
      for (std::size_t k = ni; k <= name.size(); ++k) {
        if (Match(p, pi + 1, name, k, lastDot)) return true;
      }
      return false;
    }
    if (t == kDosStar) {
      // Any run of characters that does not pass the name's last ".".
      const std::size_t limit = lastDot == std::u16string_view::npos ? name.size() : lastDot;
      for (std::size_t k = ni; k <= std::max(limit, ni); ++k) {
        if (k > name.size()) break;
        if (Match(p, pi + 1, name, k, lastDot)) return true;
      }
      return false;
    }
    if (t == kDosQm) {
      if (ni == name.size() || name[ni] == u'.') {
        ++pi;  // matches nothing at a "." or the end
        continue;
      }
      if (Match(p, pi + 1, name, ni + 1, lastDot)) return true;
      return false;
    }
    if (t == kDosDot) {
      if (ni == name.size()) {
        ++pi;
        continue;
      }
      if (name[ni] != u'.') return false;
      ++pi;
      ++ni;
      continue;
    }
    if (ni == name.size() || static_cast<char32_t>(ToUpperAscii(name[ni])) != t) return false;
    ++pi;
    ++ni;
  }
  return ni == name.size();
}

}  // namespace

std::u16string WinPath::Text() const {
  std::u16string out;
  out += drive;
  out += u":\\";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += u'\\';
    out += parts[i];
  }
  return out;
}

std::u16string Fold(std::u16string_view text) { return ToUpperAscii(text); }

int CompareFolded(std::u16string_view folded, std::u16string_view raw) {
  const std::size_t n = std::min(folded.size(), raw.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t a = folded[i];
    const char16_t b = ToUpperAscii(raw[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (folded.size() == raw.size()) return 0;
  return folded.size() < raw.size() ? -1 : 1;
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
  const std::u32string p = Translate(pattern);
  return Match(p, 0, name, 0, name.rfind(u'.'));
}

ParsedPath ParseWin32Path(std::u16string_view text, bool enforceMaxPath,
                          bool allowWildcardsInLast, bool validateNames) {
  ParsedPath result;
  if (text.substr(0, kLongPrefix.size()) == kLongPrefix) {
    // Windows hands "\\?\" paths to the file system as they stand: no "/"
    // turned into "\", no "." or ".." resolved, no trailing dot or blank
    // trimmed (a name that ends in one is reachable only this way).
    result.path.longPrefix = true;
    text.remove_prefix(kLongPrefix.size());
    if (StartsWithIgnoreAsciiCase(text, u"UNC\\")) {
      result.error = win::ERROR_BAD_NETPATH;
      return result;
    }
  } else if (enforceMaxPath && text.size() >= kMaxPath) {
    result.error = win::ERROR_FILENAME_EXCED_RANGE;
    return result;
  }
  if (text.empty()) {
    result.error = win::ERROR_PATH_NOT_FOUND;
    return result;
  }
  std::u16string s(text);
  if (!result.path.longPrefix) {
    for (char16_t& c : s) {
      if (c == u'/') c = u'\\';
    }
  }

  std::u16string_view rest = s;
  WinPath& path = result.path;
  if (rest.size() >= 2 && rest[1] == u':' &&
      ((rest[0] >= u'A' && rest[0] <= u'Z') || (rest[0] >= u'a' && rest[0] <= u'z'))) {
    path.drive = ToUpperAscii(rest[0]);
    rest.remove_prefix(2);  // "C:x" is relative to the drive's current folder, its root here
  } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
    // "\\server\share" and "\\.\device": the simulated machine has no network.
    result.error = win::ERROR_BAD_NETPATH;
    return result;
  }

  path.trailingSeparator = !rest.empty() && IsSeparator(rest.back());
  if (path.longPrefix && HasDotName(rest)) {
    // Taken literally, neither "." nor ".." is a name a file system accepts.
    result.error = win::ERROR_INVALID_NAME;
    return result;
  }
  const std::vector<std::u16string_view> names = ResolvedNames(rest);
  path.parts.assign(names.begin(), names.end());

  // A segment that ends in a single "." loses it ("a." is "a"); the last
  // segment, when the text does not end in a separator, loses all its
  // trailing dots and blanks.
  for (std::u16string& part : path.parts) {
    const std::size_t n = part.size();
    if (!path.longPrefix && n >= 2 && part[n - 1] == u'.' && part[n - 2] != u'.') part.pop_back();
  }
  if (!path.longPrefix && !path.trailingSeparator && !path.parts.empty()) {
    std::u16string& last = path.parts.back();
    while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.pop_back();
    if (last.empty()) {
      path.parts.pop_back();
      path.trailingSeparator = true;
    }
  }

  for (std::size_t i = 0; validateNames && i < path.parts.size(); ++i) {
    const bool wildcardsAllowed = allowWildcardsInLast && i + 1 == path.parts.size();
    for (char16_t c : path.parts[i]) {
      if (IsForbiddenInName(c, wildcardsAllowed)) {
        result.error = win::ERROR_INVALID_NAME;
        return result;
      }
    }
  }
  return result;
}

}  // namespace quenwick::sim::detail
