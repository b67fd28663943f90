// QMMoveableArray: a growable array whose storage is allocated in steps, never one item at a time.
#pragma once

#include <algorithm>
#include <memory>
#include <span>
#include <utility>

template <typename T>
class QMMoveableArray {
 public:
  QMMoveableArray(int capacity, int growBy)
      : items_(std::make_unique<T[]>(static_cast<size_t>(std::max(capacity, 0)))),
        capacity_(std::max(capacity, 0)),
        growBy_(std::max(growBy, 1)) {}
  ~QMMoveableArray() { Clear(); }
  QMMoveableArray(const QMMoveableArray&) = delete;
  QMMoveableArray& operator=(const QMMoveableArray&) = delete;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int GrowBy() const { return growBy_; }

  // A new slot at the end, for the caller to fill; a full array first grows by GrowBy slots.
  T& AppendSlot() {
    if (count_ == capacity_) Grow(capacity_ + growBy_, -1);
    return items_[static_cast<size_t>(count_++)];
  }

  // Room for newCapacity items; a newGrowBy above 0 becomes the growth step. Only grows.
  void Grow(int newCapacity, int newGrowBy) {
    if (newGrowBy > 0) growBy_ = newGrowBy;
    if (newCapacity <= capacity_) return;
    auto grown = std::make_unique<T[]>(static_cast<size_t>(newCapacity));
    std::move(items_.get(), items_.get() + count_, grown.get());
    items_ = std::move(grown);
    capacity_ = newCapacity;
  }

  // Sorts the items in use with a comparison that returns negative, zero or positive.
  template <typename Compare>
  void Sort(Compare compare) {
    std::sort(items_.get(), items_.get() + count_, [&](const T& a, const T& b) { return compare(a, b) < 0; });
  }

  // Releases the storage and the items in it.
  int Clear() {
    items_.reset();
    count_ = 0;
    capacity_ = 0;
    return 0;
  }

  std::span<T> Items() { return {items_.get(), static_cast<size_t>(count_)}; }
  std::span<const T> Items() const { return {items_.get(), static_cast<size_t>(count_)}; }
  T& operator[](int index) { return items_[static_cast<size_t>(index)]; }
  const T& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
  T* begin() { return items_.get(); }
  T* end() { return items_.get() + count_; }
  const T* begin() const { return items_.get(); }
  const T* end() const { return items_.get() + count_; }

 private:
  std::unique_ptr<T[]> items_;
  int count_ = 0;
  int capacity_;
  int growBy_;
};
