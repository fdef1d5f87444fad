// Memory for a tree that is freed all at once: parse trees and newspaper
// trees have millions of small items, and one block frees them all.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "core/library_state.h"

class Arena {
  public:
    Arena() = default;
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    ~Arena() { release(); }

    // Null (with the library's out-of-memory report) when memory runs out.
    void *allocate(size_t bytes) {
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (!head_ || head_->size - head_->used < bytes) {
            // Blocks grow from small to large, so a short tree stays small.
            size_t size = head_ ? std::min(head_->size * 2, kLargestBlock) : kFirstBlock;
            if (bytes > size / 4) size = std::max(size, bytes);
            Block *block = static_cast<Block *>(guardedAlloc(sizeof(Block) + size));
            if (!block) return nullptr;
            block->next = head_;
            block->size = size;
            block->used = 0;
            head_ = block;
        }
        void *p = reinterpret_cast<char *>(head_ + 1) + head_->used;
        head_->used += bytes;
        return p;
    }

    void release() {
        while (Block *b = head_) {
            head_ = b->next;
            free(b);
        }
    }

  private:
    static constexpr size_t kAlign = alignof(std::max_align_t);
    struct alignas(alignof(std::max_align_t)) Block {
        Block *next;
        size_t size, used;
    };
    static constexpr size_t kFirstBlock = 16 << 10;
    static constexpr size_t kLargestBlock = 1 << 20;
    Block *head_ = nullptr;
};
