#include "storage/stored_posts.h"

#include <algorithm>
#include <string_view>

#include "storage/database.h"
#include "storage/heap.h"

namespace qnl {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

int group_code(const char* p) {
  return (p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0');
}

bool all_digits(TextView text) {
  return std::all_of(text.begin(), text.end(), is_digit);
}

}  // namespace

size_t StoredPostIndex::size() const {
  std::lock_guard lock(mutex_);
  return starts_.empty() ? 0 : starts_.size() - 1;
}

void StoredPostIndex::release() {
  {
    std::lock_guard lock(mutex_);
    loaded_ = false;
    next_load_ = {};
    Text().swap(arena_);
    std::vector<uint32_t>().swap(starts_);
    std::vector<std::vector<uint32_t>>().swap(postings_);
  }
  // The index and the table read that built it were tens of MB at a year of
  // found posts; without this the allocator would keep them all day.
  return_free_heap();
}

bool StoredPostIndex::load_locked() {
  // A NULL address holds no id, not even the empty one.
  const QueryResult urls = db_.db_query("SELECT url FROM info WHERE url IS NOT NULL");
  if (urls.error != DbError::none) {
    next_load_ = std::chrono::steady_clock::now() + kRetryLoadAfter;
    return false;
  }
  loaded_ = true;
  arena_.clear();
  postings_.assign(1000, {});
  starts_.assign(1, 0);
  for (const auto& row : urls.rows)
    if (!row.empty()) add_locked(row[0]);
  return true;
}

void StoredPostIndex::add_locked(TextView url) {
  const uint32_t index = static_cast<uint32_t>(starts_.size() - 1);
  arena_ += to_lower(url);
  starts_.push_back(static_cast<uint32_t>(arena_.size()));
  const char* begin = arena_.data() + starts_[index];
  const size_t length = url.size();
  for (size_t i = 0; i + 3 <= length; ++i) {
    if (!is_digit(begin[i]) || !is_digit(begin[i + 1]) || !is_digit(begin[i + 2])) continue;
    auto& posting = postings_[static_cast<size_t>(group_code(begin + i))];
    if (posting.empty() || posting.back() != index) posting.push_back(index);
  }
}

void StoredPostIndex::add(TextView url) {
  std::lock_guard lock(mutex_);
  if (loaded_) add_locked(url);  // otherwise the first question reads it from the table
}

bool StoredPostIndex::scan_all_locked(TextView lowered_id) const {
  // The id must fall inside one address, never across two.
  const std::string_view arena(arena_);
  for (size_t at = arena.find(lowered_id); at != std::string_view::npos;
       at = arena.find(lowered_id, at + 1)) {
    const auto next = std::upper_bound(starts_.begin(), starts_.end(), at);
    if (at + lowered_id.size() <= *next) return true;
  }
  return false;
}

bool StoredPostIndex::contains(TextView post_id) {
  std::lock_guard lock(mutex_);
  if (!loaded_ && std::chrono::steady_clock::now() >= next_load_) load_locked();
  if (!loaded_) return db_.is_post_stored(post_id);
  const Text id = to_lower(post_id);
  if (id.empty()) return starts_.size() > 1;  // "" is in every address
  if (id.size() < 3 || !all_digits(id)) return scan_all_locked(id);

  // The rarest three-digit group of the id narrows the addresses to check.
  const std::vector<uint32_t>* rarest = nullptr;
  for (size_t i = 0; i + 3 <= id.size(); ++i) {
    const auto& posting = postings_[static_cast<size_t>(group_code(id.data() + i))];
    if (!rarest || posting.size() < rarest->size()) rarest = &posting;
  }
  for (const uint32_t index : *rarest) {
    const std::string_view address(arena_.data() + starts_[index],
                                   starts_[index + 1] - starts_[index]);
    if (address.find(id) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace qnl
