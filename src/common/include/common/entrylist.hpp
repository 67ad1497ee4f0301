#pragma once
// A growable result list: one heap array per field, one count, one
// capacity. Entries are only appended; a full list doubles, never shrinks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

#include "common/scratch.hpp"

template <class... Fields>
class EntryList {
 public:
  EntryList() = default;
  EntryList(const EntryList&) = delete;
  EntryList& operator=(const EntryList&) = delete;
  ~EntryList() { release(arrays_); }

  // Allocates room for `capacity` entries, at least one so that doubling
  // always grows; false, holding nothing, when any array cannot be had.
  bool init(int64_t capacity) {
    release(arrays_);
    count_ = 0;
    capacity_ = 0;
    if (capacity < 1) capacity = 1;
    if (!allocate(arrays_, capacity, Seq{})) return false;
    capacity_ = capacity;
    return true;
  }

  // Appends one entry, doubling first when full; false when that growth
  // fails, the list then keeping what it held.
  bool append(Fields... values) {
    if (count_ == capacity_ && !grow()) return false;
    store(Seq{}, values...);
    ++count_;
    return true;
  }

  int64_t count() const { return count_; }
  int64_t capacity() const { return capacity_; }

  // The array of field I; its first count() elements are the entries.
  template <std::size_t I>
  const std::tuple_element_t<I, std::tuple<Fields...>>* data() const {
    return std::get<I>(arrays_);
  }

 private:
  using Seq = std::index_sequence_for<Fields...>;
  using Arrays = std::tuple<Fields*...>;

  template <std::size_t... I>
  static bool allocate(Arrays& a, int64_t capacity, std::index_sequence<I...>) {
    ((std::get<I>(a) = allocScratch<Fields>(static_cast<std::size_t>(capacity))), ...);
    if ((std::get<I>(a) && ...)) return true;
    release(a);
    return false;
  }

  static void release(Arrays& a) {
    std::apply([](auto*&... p) { ((std::free(p), p = nullptr), ...); }, a);
  }

  template <std::size_t... I>
  void store(std::index_sequence<I...>, Fields... values) {
    ((std::get<I>(arrays_)[count_] = values), ...);
  }

  template <std::size_t... I>
  void copyInto(Arrays& to, std::index_sequence<I...>) const {
    ((std::memcpy(std::get<I>(to), std::get<I>(arrays_),
                  static_cast<std::size_t>(count_) * sizeof(Fields))),
     ...);
  }

  // All new arrays are allocated before any old one is given up, so a
  // failure leaves the list as it was.
  bool grow() {
    if (capacity_ > INT64_MAX / 2) return false;
    Arrays bigger{};
    if (!allocate(bigger, 2 * capacity_, Seq{})) return false;
    copyInto(bigger, Seq{});
    release(arrays_);
    arrays_ = bigger;
    capacity_ *= 2;
    return true;
  }

  Arrays arrays_{};
  int64_t count_ = 0;
  int64_t capacity_ = 0;
};
