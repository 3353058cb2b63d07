// A sequence built by insertions at the front or directly behind an element
// already in it, in which any two elements compare by position.
#pragma once

#include <cstddef>
#include <vector>

class InsertionOrder {
public:
  // Elements are the numbers 0 to count - 1, each inserted at most once.
  explicit InsertionOrder(std::size_t count);

  bool contains(std::size_t element) const { return blockOf_[element] != absent; }
  // Whether a stands behind b; both are in the sequence.
  bool behind(std::size_t a, std::size_t b) const;
  void insertFront(std::size_t element);
  // Directly behind before, which is in the sequence.
  void insertBehind(std::size_t before, std::size_t element);
  // The elements from front to back.
  std::vector<std::size_t> elements() const;

private:
  // Elements sit in blocks of at most twice this many, so an insertion moves
  // the elements of one block and renumbers the blocks, never the elements
  // behind it.
  static constexpr std::size_t blockSize = 256;
  static constexpr std::size_t absent = ~std::size_t(0);
  struct Block {
    std::size_t rank;  // its place among the blocks
    std::vector<std::size_t> elements;
  };

  void insertAt(std::size_t block, std::size_t slot, std::size_t element);
  void split(std::size_t block);

  std::vector<Block> blocks_;
  std::vector<std::size_t> ranked_;  // block numbers, front to back
  std::vector<std::size_t> blockOf_, slot_;
};
