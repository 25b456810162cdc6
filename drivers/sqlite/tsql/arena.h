// The arena that holds one translation's syntax trees.
//
// Nodes are carved from a monotonic buffer and released all at once. Most
// nodes hold only arena memory and need no destructor; the few that own heap
// memory (a query's result columns) are made with MakeOwned, and the arena
// runs their destructors when it goes.
#pragma once

#include <array>
#include <cstddef>
#include <memory_resource>
#include <utility>
#include <vector>

namespace q8::tsql {

class Arena {
 public:
  Arena() : mr_(initial_.data(), initial_.size()) {}
  ~Arena() {
    for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) it->destroy(it->object);
  }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  std::pmr::memory_resource* resource() { return &mr_; }

  // A T built in the arena; its destructor never runs.
  template <class T, class... Args>
  T* Make(Args&&... args) {
    void* p = mr_.allocate(sizeof(T), alignof(T));
    return new (p) T(std::forward<Args>(args)...);
  }

  // A T built in the arena whose destructor runs when the arena goes.
  template <class T, class... Args>
  T* MakeOwned(Args&&... args) {
    T* t = Make<T>(std::forward<Args>(args)...);
    owned_.push_back({t, [](void* o) { static_cast<T*>(o)->~T(); }});
    return t;
  }

 private:
  struct Owned {
    void* object;
    void (*destroy)(void*);
  };
  alignas(std::max_align_t) std::array<std::byte, 16 * 1024> initial_;
  std::pmr::monotonic_buffer_resource mr_;
  std::vector<Owned> owned_;
};

}  // namespace q8::tsql
