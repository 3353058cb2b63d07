#include "plan/candidate_order.h"

#include "plan/relations.h"

namespace {

bool related(const Package& a, const Package& b) {
  return isOrContains(a, b.name) || isOrContains(b, a.name);
}

// Whether a survives the comparison with every other candidate.
bool survives(Console& console, const std::vector<const Package*>& list, std::size_t a,
              bool olderWins, bool report) {
  const Package& candidate = *list[a];
  for (std::size_t b = 0; b < list.size(); ++b) {
    if (b == a || !related(candidate, *list[b])) continue;
    const int order = compareCandidates(*list[b], candidate, olderWins);
    if (order > 0) {
      if (report)
        console.warning(olderWins ? "omitting package %s: older package is already provided"
                                  : "omitting package %s: newer package is already provided",
                        nameVersionText(candidate).c_str());
      return false;
    }
    // The same release twice: only a bundle outlives a separate file of its member.
    if (order == 0 && !(candidate.isBundle && !list[b]->isBundle)) return false;
  }
  return true;
}

}  // namespace

std::vector<std::size_t> candidateOrder(Console& console, const std::vector<const Package*>& list,
                                        bool olderWins, bool report) {
  std::vector<std::size_t> ordered;
  for (std::size_t a = 0; a < list.size(); ++a) {
    if (!survives(console, list, a, olderWins, report)) continue;
    const Package& placing = *list[a];
    std::size_t position = ordered.size();
    while (position > 0) {
      const Package& placed = *list[ordered[position - 1]];
      if (dependsOn(placing, placed) || conflictsWith(placed, placing)) break;
      --position;
    }
    ordered.insert(ordered.begin() + static_cast<std::ptrdiff_t>(position), a);
  }
  return ordered;
}
