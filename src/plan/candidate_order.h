// Reducing a list of candidate records to the best release of each package
// and ordering it so that every record comes after what it depends on.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "console/console.h"
#include "model/package.h"

// The positions of the records to keep, in their new order.
//  Selection: a record is dropped when a related record (same name, or one of
//  them contains the other's name as a member) is the better release (newer,
//  or older with olderWins), with a warning when report is set; of two equal
//  releases both are dropped silently, except that a bundle is kept against
//  a separate file of its member.
//  Ordering: each kept record is inserted behind the last record already
//  placed that it depends on or that conflicts with it, else at the front.
std::vector<std::size_t> candidateOrder(Console& console, const std::vector<const Package*>& list,
                                        bool olderWins, bool report);

// Applies candidateOrder to a list of record pointers, owning
// (std::unique_ptr: dropped records are destroyed) or not.
template <class RecordPointer>
void orderCandidates(Console& console, std::vector<RecordPointer>& list, bool olderWins,
                     bool report) {
  std::vector<const Package*> records;
  records.reserve(list.size());
  for (const RecordPointer& record : list) records.push_back(&*record);
  std::vector<RecordPointer> ordered;
  for (std::size_t index : candidateOrder(console, records, olderWins, report))
    ordered.push_back(std::move(list[index]));
  list = std::move(ordered);
}
