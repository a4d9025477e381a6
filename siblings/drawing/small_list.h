// A list of plain values held in the room of one pointer, for the short
// lists every path carries and most leave empty (its dash pattern, where its
// further subpaths begin): a page holds hundreds of thousands of paths, and
// a std::vector's three pointers made each path 112 bytes instead of 72.
// An empty list holds nothing; a list with elements holds one block of its
// size, its room and its elements. It reads and is built like a vector, and
// goes to and from one where a caller wants one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace drawing {

template <typename T>
class SmallList {
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8,
                  "a small list holds plain values");

  public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    SmallList() = default;
    SmallList(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
    SmallList(const std::vector<T>& values) { assign(values.data(), values.size()); }  // NOLINT
    SmallList(const SmallList& other) { assign(other.data(), other.size()); }
    SmallList(SmallList&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    ~SmallList() { std::free(block_); }

    SmallList& operator=(const SmallList& other) {
        SmallList copy(other);
        swap(copy);
        return *this;
    }
    SmallList& operator=(SmallList&& other) noexcept {
        SmallList moved(std::move(other));
        swap(moved);
        return *this;
    }
    SmallList& operator=(std::initializer_list<T> values) { return *this = SmallList(values); }

    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }  // NOLINT

    void swap(SmallList& other) noexcept { std::swap(block_, other.block_); }

    std::size_t size() const { return block_ == nullptr ? 0 : block_->size; }
    std::size_t capacity() const { return block_ == nullptr ? 0 : block_->capacity; }
    bool empty() const { return size() == 0; }
    T* data() { return block_ == nullptr ? nullptr : elements(); }
    const T* data() const { return block_ == nullptr ? nullptr : elements(); }
    T* begin() { return data(); }
    T* end() { return data() + size(); }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& back() { return data()[size() - 1]; }
    const T& back() const { return data()[size() - 1]; }

    void reserve(std::size_t n) {
        if (n > capacity()) {
            grow(n);
        }
    }
    void push_back(const T& value) {
        const T copy = value;  // value may be one of ours, and growing moves them
        if (size() == capacity()) {
            grow(std::max<std::size_t>(4, 2 * capacity()));
        }
        elements()[block_->size++] = copy;
    }
    // Keeps the room, as a vector does; assign {} to give it back.
    void clear() {
        if (block_ != nullptr) {
            block_->size = 0;
        }
    }
    // Inserts the values of [first, last), which must not be this list's.
    template <typename It>
    T* insert(const T* at, It first, It last) {
        const std::size_t offset = at - begin();
        const std::size_t n = static_cast<std::size_t>(std::distance(first, last));
        if (n == 0) {
            return begin() + offset;
        }
        const std::size_t old = size();
        reserve(std::max(old + n, 2 * old));
        T* const p = data() + offset;
        std::memmove(p + n, p, (old - offset) * sizeof(T));
        std::copy(first, last, p);
        if (block_ != nullptr) {
            block_->size = old + n;
        }
        return p;
    }

    friend bool operator==(const SmallList& a, const SmallList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const SmallList& a, const std::vector<T>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    struct Block {
        std::uint32_t size;
        std::uint32_t capacity;
    };
    static_assert(sizeof(Block) == 8);

    T* elements() const { return reinterpret_cast<T*>(block_ + 1); }
    void assign(const T* values, std::size_t n) {
        if (n == 0) {
            return;
        }
        grow(n);
        std::memcpy(elements(), values, n * sizeof(T));
        block_->size = static_cast<std::uint32_t>(n);
    }
    void grow(std::size_t n) {
        if (n > UINT32_MAX || n > (SIZE_MAX - sizeof(Block)) / sizeof(T)) {
            throw std::length_error("list too long");
        }
        const std::size_t old = size();
        void* const block = std::realloc(block_, sizeof(Block) + n * sizeof(T));
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        block_ = static_cast<Block*>(block);
        block_->size = static_cast<std::uint32_t>(old);
        block_->capacity = static_cast<std::uint32_t>(n);
    }

    Block* block_ = nullptr;
};

}  // namespace drawing
