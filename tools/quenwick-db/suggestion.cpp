#include "suggestion.h"

#include <algorithm>

namespace quenwick::dbtool {
namespace {

constexpr std::size_t kMaxEdits = 2;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
  // Three rows: two letters swapped ("lnit") count as one slip.
  std::vector<std::size_t> older(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        current[j] = std::min(current[j], older[j - 2] + 1);
      }
    }
    std::swap(older, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

std::optional<std::string> ClosestName(std::string_view written, const std::vector<std::string>& candidates) {
  const std::string folded = Lower(written);
  std::optional<std::string> best;
  std::size_t bestDistance = std::min(kMaxEdits + 1, (folded.size() + 1) / 2);
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(folded, Lower(candidate));
    if (distance < bestDistance) bestDistance = distance, best = candidate;
  }
  return best;
}

std::string DidYouMean(std::string_view written, const std::vector<std::string>& candidates) {
  const auto best = ClosestName(written, candidates);
  return best ? " (did you mean '" + *best + "'?)" : "";
}

}  // namespace quenwick::dbtool
