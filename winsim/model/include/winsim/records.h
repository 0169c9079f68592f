// Records of one kind kept in the order they were added (the order Windows
// lists them in) and found by their folded key through an index kept in step
// with them, so a lookup does not grow with their number.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <list>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>

namespace winsim {

// T is plain data; FoldedKey(const T&) (found beside T) names the fields that
// identify a record. Those fields change only through Rename, so that the
// index stays true. A list keeps every record where it is (pointers to
// records stay valid as others come and go) and erases in constant time.
// Should two records share a key (a hand-made machine), the first is found.
template <typename T>
class Records {
  using List = std::list<T>;

 public:
  using value_type = T;
  using iterator = typename List::iterator;
  using const_iterator = typename List::const_iterator;

  Records() = default;
  Records(std::initializer_list<T> records) {
    for (const T& record : records) push_back(record);
  }
  // A copy indexes its own records.
  Records(const Records& other) : list_(other.list_) { Reindex(); }
  Records& operator=(const Records& other) {
    if (this != &other) {
      list_ = other.list_;
      Reindex();
    }
    return *this;
  }
  // A move takes the nodes, so the index's iterators stay valid.
  Records(Records&&) noexcept = default;
  Records& operator=(Records&&) noexcept = default;

  iterator begin() { return list_.begin(); }
  iterator end() { return list_.end(); }
  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }
  std::size_t size() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  T& front() { return list_.front(); }
  T& back() { return list_.back(); }
  const T& front() const { return list_.front(); }
  const T& back() const { return list_.back(); }
  // The record at `position` in order (walks there: for tests and tools).
  T& at(std::size_t position) {
    if (position >= list_.size()) throw std::out_of_range("Records::at");
    return *std::next(list_.begin(), static_cast<std::ptrdiff_t>(position));
  }
  const T& at(std::size_t position) const { return const_cast<Records&>(*this).at(position); }

  // The record with this folded key, or null.
  T* Find(const std::u16string& key) {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &*found->second;
  }
  const T* Find(const std::u16string& key) const { return const_cast<Records&>(*this).Find(key); }

  T& push_back(T record) {
    list_.push_back(std::move(record));
    index_.emplace(FoldedKey(list_.back()), std::prev(list_.end()));
    return list_.back();
  }

  iterator erase(const_iterator position) {
    const std::u16string key = FoldedKey(*position);
    auto found = index_.find(key);
    const bool indexed = found != index_.end() && found->second == position;
    if (indexed) {
      index_.erase(found);
    } else {
      Unindex(position);
    }
    iterator next = list_.erase(position);
    // A record that shares the key is found from now on.
    if (indexed && index_.size() < list_.size()) IndexFirst(key);
    return next;
  }
  void erase(const T* record) { erase(IteratorOf(record)); }
  void pop_back() { erase(std::prev(list_.end())); }
  void clear() {
    index_.clear();
    list_.clear();
  }

  // Gives the record another name (its key changes with it).
  void Rename(T& record, const std::u16string& name) {
    const iterator position = IteratorOf(&record);
    const std::u16string oldKey = FoldedKey(record);
    auto found = index_.find(oldKey);
    const bool indexed = found != index_.end() && found->second == position;
    if (indexed) index_.erase(found);
    record.name = name;
    index_.emplace(FoldedKey(record), position);
    if (indexed && index_.size() < list_.size()) IndexFirst(oldKey);
  }

 private:
  iterator IteratorOf(const T* record) {
    auto found = index_.find(FoldedKey(*record));
    if (found != index_.end() && &*found->second == record) return found->second;
    for (auto it = list_.begin(); it != list_.end(); ++it) {
      if (&*it == record) return it;
    }
    return list_.end();
  }

  // Drops an index entry that names `position` under another key (a record
  // whose key fields were changed behind the index), so none is left dangling.
  void Unindex(const_iterator position) {
    for (auto it = index_.begin(); it != index_.end(); ++it) {
      if (it->second == position) {
        index_.erase(it);
        return;
      }
    }
  }

  void IndexFirst(const std::u16string& key) {
    for (auto it = list_.begin(); it != list_.end(); ++it) {
      if (FoldedKey(*it) == key) {
        index_.emplace(key, it);
        return;
      }
    }
  }

  void Reindex() {
    index_.clear();
    for (auto it = list_.begin(); it != list_.end(); ++it) index_.emplace(FoldedKey(*it), it);
  }

  List list_;
  std::unordered_map<std::u16string, iterator> index_;
};

}  // namespace winsim
