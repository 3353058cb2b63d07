// Finding the records a record may be related to without trying every pair.
//
// A record offers its name, the names it provides, and what its members offer;
// it seeks those same names plus the names of its deps and conflicts, and what
// its members seek. dependsOn(a, b), conflictsWith(a, b) and candidate
// relatedness (isOrContains either way) can only hold when a seeks a name that
// b offers, so the records sharing such a name with a record are all the
// records it can be related to. Lists are in record order, without repeats.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/package.h"

class RelationIndex {
public:
  explicit RelationIndex(const std::vector<const Package*>& records);

  // The records offering name (by their name, a provides entry or a member).
  const std::vector<std::size_t>& offering(const std::string& name) const;
  // Every record that may be related to records[index] in either direction,
  // the record itself included.
  std::vector<std::size_t> candidates(std::size_t index) const;

private:
  using Lists = std::unordered_map<std::string, std::vector<std::size_t>>;

  const std::vector<const Package*>& records_;
  Lists offered_;
  Lists sought_;
};
