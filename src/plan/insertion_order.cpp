#include "plan/insertion_order.h"

InsertionOrder::InsertionOrder(std::size_t count) : blockOf_(count, absent), slot_(count, 0) {}

bool InsertionOrder::behind(std::size_t a, std::size_t b) const {
  const std::size_t rankA = blocks_[blockOf_[a]].rank, rankB = blocks_[blockOf_[b]].rank;
  return rankA != rankB ? rankA > rankB : slot_[a] > slot_[b];
}

void InsertionOrder::insertFront(std::size_t element) {
  if (ranked_.empty()) {
    blocks_.push_back({0, {}});
    ranked_.push_back(0);
  }
  insertAt(ranked_.front(), 0, element);
}

void InsertionOrder::insertBehind(std::size_t before, std::size_t element) {
  insertAt(blockOf_[before], slot_[before] + 1, element);
}

std::vector<std::size_t> InsertionOrder::elements() const {
  std::vector<std::size_t> all;
  for (std::size_t block : ranked_)
    all.insert(all.end(), blocks_[block].elements.begin(), blocks_[block].elements.end());
  return all;
}

void InsertionOrder::insertAt(std::size_t block, std::size_t slot, std::size_t element) {
  std::vector<std::size_t>& elements = blocks_[block].elements;
  elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(slot), element);
  blockOf_[element] = block;
  for (std::size_t i = slot; i < elements.size(); ++i) slot_[elements[i]] = i;
  if (elements.size() > 2 * blockSize) split(block);
}

// The back half of a full block becomes a block of its own behind it.
void InsertionOrder::split(std::size_t block) {
  const std::size_t fresh = blocks_.size();
  blocks_.push_back({0, {}});
  std::vector<std::size_t>& full = blocks_[block].elements;
  std::vector<std::size_t>& back = blocks_[fresh].elements;
  back.assign(full.begin() + blockSize, full.end());
  full.resize(blockSize);
  for (std::size_t i = 0; i < back.size(); ++i) {
    blockOf_[back[i]] = fresh;
    slot_[back[i]] = i;
  }
  const std::size_t rank = blocks_[block].rank + 1;
  ranked_.insert(ranked_.begin() + static_cast<std::ptrdiff_t>(rank), fresh);
  for (std::size_t r = rank; r < ranked_.size(); ++r) blocks_[ranked_[r]].rank = r;
}
