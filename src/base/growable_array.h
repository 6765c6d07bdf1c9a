#pragma once
// The program's one resizable array. It grows by a quarter plus 32 elements so
// that reallocations stay few; elements added by growing are not initialised.
// Running out of memory, or past the maximum, is fatal (EndProgram).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "base/error_handler.h"

namespace ozu {

template <typename T> class GrowableArray {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as raw bytes");

public:
    // Starts empty and adds initialSize (uninitialised) elements. maximum 0
    // means no limit.
    explicit GrowableArray(uint32_t initialSize = 0, uint32_t maximum = 0) : maximum_(maximum) {
        if (initialSize != 0) {
            Add(initialSize);
        }
    }
    ~GrowableArray() { std::free(data_); }

    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;
    GrowableArray(GrowableArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)),
          capacity_(std::exchange(other.capacity_, 0)), maximum_(other.maximum_) {}
    GrowableArray& operator=(GrowableArray&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            count_ = std::exchange(other.count_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
            maximum_ = other.maximum_;
        }
        return *this;
    }

    // count += n; the capacity becomes max(count, capacity + capacity / 4 + 32)
    // when it is too small.
    void Add(uint32_t n) {
        uint64_t wanted = uint64_t{count_} + n;
        // The maximum bounds the count, also where the block would have room.
        if (maximum_ != 0 && wanted > maximum_) {
            TheErrorHandler().MemoryError();
        }
        if (wanted <= capacity_) {
            count_ = static_cast<uint32_t>(wanted);
            return;
        }
        uint64_t grown = uint64_t{capacity_} + capacity_ / 4 + 32;
        uint64_t newCapacity = wanted > grown ? wanted : grown;
        // A count beyond 32 bits, or a block beyond the address space, is as
        // fatal as a failed allocation.
        if (wanted > UINT32_MAX) {
            TheErrorHandler().MemoryError();
        }
        if (newCapacity > UINT32_MAX) {
            newCapacity = UINT32_MAX;
        }
        if (newCapacity > SIZE_MAX / sizeof(T)) {
            TheErrorHandler().MemoryError();
        }
        void* block = std::realloc(data_, static_cast<size_t>(newCapacity) * sizeof(T));
        if (block == nullptr) {
            TheErrorHandler().MemoryError();
        }
        data_ = static_cast<T*>(block);
        capacity_ = static_cast<uint32_t>(newCapacity);
        count_ = static_cast<uint32_t>(wanted);
    }

    // Growing goes through Add; shrinking keeps the block.
    void SetCount(uint32_t n) {
        if (capacity_ < n) {
            Add(n - count_);
        } else {
            count_ = n;
        }
    }

    void Push(const T& value) {
        T copy = value; // value may live inside the block that Add moves
        Add(1);
        data_[count_ - 1] = copy;
    }

    // Frees the block.
    void Reset() {
        std::free(data_);
        data_ = nullptr;
        count_ = 0;
        capacity_ = 0;
    }

    uint32_t Size() const { return count_; }
    uint32_t Capacity() const { return capacity_; }
    uint32_t Maximum() const { return maximum_; }
    bool Empty() const { return count_ == 0; }
    T* Data() { return data_; }
    const T* Data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + count_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + count_; }

private:
    T* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    uint32_t maximum_ = 0;
};

} // namespace ozu
