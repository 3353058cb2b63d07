#include "plan/relation_index.h"

#include <algorithm>

namespace {

template <class Visit>
void forEachOffered(const Package& record, const Visit& visit) {
  visit(record.name);
  for (const Dependency& entry : record.provides) visit(entry.name);
  for (const auto& member : record.members) forEachOffered(*member, visit);
}

template <class Visit>
void forEachSought(const Package& record, const Visit& visit) {
  visit(record.name);
  for (const auto* list : {&record.provides, &record.deps, &record.conflicts})
    for (const Dependency& entry : *list) visit(entry.name);
  for (const auto& member : record.members) forEachSought(*member, visit);
}

}  // namespace

RelationIndex::RelationIndex(const std::vector<const Package*>& records) : records_(records) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    // Records are added in order, so a repeat of a name within one record is
    // always the last entry of its list.
    const auto add = [i](Lists& lists) {
      return [i, &lists](const std::string& name) {
        std::vector<std::size_t>& list = lists[name];
        if (list.empty() || list.back() != i) list.push_back(i);
      };
    };
    forEachOffered(*records[i], add(offered_));
    forEachSought(*records[i], add(sought_));
  }
}

const std::vector<std::size_t>& RelationIndex::offering(const std::string& name) const {
  static const std::vector<std::size_t> none;
  const auto found = offered_.find(name);
  return found == offered_.end() ? none : found->second;
}

std::vector<std::size_t> RelationIndex::candidates(std::size_t index) const {
  std::vector<std::size_t> found;
  const auto collect = [&found](const Lists& lists) {
    return [&found, &lists](const std::string& name) {
      const auto list = lists.find(name);
      if (list != lists.end()) found.insert(found.end(), list->second.begin(), list->second.end());
    };
  };
  forEachSought(*records_[index], collect(offered_));
  forEachOffered(*records_[index], collect(sought_));
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}
