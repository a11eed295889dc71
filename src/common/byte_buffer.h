// The bytes of a downloaded file, in one block that can grow without being
// copied (large blocks are remapped by the allocator rather than moved), so
// that a large module is held once in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <utility>

namespace tw {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(std::string_view bytes) { Append(bytes.data(), bytes.size()); }
  ByteBuffer(ByteBuffer&& other) noexcept { Swap(other); }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    ByteBuffer(std::move(other)).Swap(*this);
    return *this;
  }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { std::free(data_); }

  // The failed-download marker: one byte of value 0.
  static ByteBuffer Failed() { return ByteBuffer(std::string_view("\0", 1)); }

  // False when the memory cannot be had; the buffer is then unchanged.
  bool Reserve(size_t capacity) {
    if (capacity <= capacity_) return true;
    void* grown = std::realloc(data_, capacity);
    if (!grown) return false;
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = capacity;
    return true;
  }

  bool Append(const void* bytes, size_t n) {
    if (n == 0) return true;
    if (size_ + n > capacity_ && !Reserve(std::max(size_ + n, capacity_ + capacity_ / 2)))
      return false;
    std::memcpy(data_ + size_, bytes, n);
    size_ += n;
    return true;
  }

  const std::uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  std::span<const std::uint8_t> span() const { return {data_, size_}; }
  std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }

 private:
  void Swap(ByteBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  std::uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace tw
