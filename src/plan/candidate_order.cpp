#include "plan/candidate_order.h"

#include "plan/insertion_order.h"
#include "plan/relation_index.h"
#include "plan/relations.h"

namespace {

bool related(const Package& a, const Package& b) {
  return isOrContains(a, b.name) || isOrContains(b, a.name);
}

// Whether list[a] survives the comparison with every other candidate, taken
// in list order (those the index rules out are unrelated to it).
bool survives(Console& console, const std::vector<const Package*>& list,
              const std::vector<std::size_t>& others, std::size_t a, bool olderWins, bool report) {
  const Package& candidate = *list[a];
  for (std::size_t b : others) {
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
  const RelationIndex index(list);
  std::vector<std::vector<std::size_t>> candidates(list.size());
  std::vector<std::size_t> kept;
  for (std::size_t a = 0; a < list.size(); ++a) {
    candidates[a] = index.candidates(a);
    if (survives(console, list, candidates[a], a, olderWins, report)) kept.push_back(a);
  }

  // Each kept record goes directly behind the last placed record it depends
  // on or that conflicts with it, else to the front.
  InsertionOrder placed(list.size());
  for (std::size_t placing : kept) {
    std::size_t last = placing;  // none yet
    for (std::size_t other : candidates[placing]) {
      if (!placed.contains(other) || (last != placing && !placed.behind(other, last))) continue;
      if (dependsOn(*list[placing], *list[other]) || conflictsWith(*list[other], *list[placing]))
        last = other;
    }
    if (last == placing)
      placed.insertFront(placing);
    else
      placed.insertBehind(last, placing);
  }
  return placed.elements();
}
