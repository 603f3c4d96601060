//===- CAutoMemory.h - An owned, growable buffer --------------------------===//
//
// CAutoMemory<T> holds Size() elements.  When it owns its memory (the
// default) it frees it on destruction; Release() gives the memory up to the
// caller, who frees it with delete[].
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstring>
#include <new>

template <typename T>
class CAutoMemory {
 public:
  explicit CAutoMemory(bool owns = true) : owns_(owns) {}
  ~CAutoMemory() { Free(); }
  CAutoMemory(const CAutoMemory&) = delete;
  CAutoMemory& operator=(const CAutoMemory&) = delete;

  // Makes room for count elements; keeps the first min(count, Size()) ones.
  // Capacity only grows, so reusing one buffer for blocks costs nothing.
  bool Resize(size_t count) {
    if (count > capacity_) {
      T* fresh = new (std::nothrow) T[count];
      if (!fresh) return false;
      if (data_ && size_) std::memcpy(fresh, data_, size_ * sizeof(T));
      Free();
      data_ = fresh;
      capacity_ = count;
      owns_ = true;
    }
    size_ = count;
    return true;
  }

  T* Ptr() { return data_; }
  const T* Ptr_const() const { return data_; }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }

  // Gives up ownership of the memory and returns it.
  T* Release() {
    T* data = data_;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return data;
  }

 private:
  void Free() {
    if (owns_) delete[] data_;
    data_ = nullptr;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool owns_ = true;
};
