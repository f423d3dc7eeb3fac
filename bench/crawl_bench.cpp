// The monitor's own costs: one crawl's CPU work after the fetch, and the
// first wave's stored-post look-up against a table of a million found posts.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fstream>
#include <random>
#include <thread>

#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "support/listing_pages.h"
#include "support/test_database.h"

namespace qnl {
namespace {

struct Rule1 {
  Text reg, before, after;
  int tindex = 0, idindex = 0;
};

const Rule1& shipped_rule1() {
  static const Rule1 rule = [] {
    test::ShippedDatabase shipped;
    Database db;
    db.db_open(shipped.path());
    RuleGrid grid;
    load_rules(db, grid);
    return Rule1{grid.rule_field(1, kReg), grid.rule_field(1, kBefore), grid.rule_field(1, kAfter),
                 static_cast<int>(to_integer(grid.rule_field(1, kTindex))),
                 static_cast<int>(to_integer(grid.rule_field(1, kIdindex)))};
  }();
  return rule;
}

// Cut, flatten, clean up and match a 50-post listing page of about 170 KB.
void BM_CrawlPipeline(benchmark::State& state) {
  const Rule1& rule = shipped_rule1();
  const Text page = test::discuz_listing(test::sample_threads(50, 6699100), true, 120);
  size_t found = 0;
  for (auto _ : state) {
    Text listing = cut_listing(page, rule.before, rule.after);
    prepare_listing(1, listing);
    found = match_posts(listing, rule.reg, rule.tindex, rule.idindex).size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["page_kb"] = static_cast<double>(page.size()) / 1024;
  state.counters["posts"] = static_cast<double>(found);
}
BENCHMARK(BM_CrawlPipeline)->Unit(benchmark::kMicrosecond);
// The pipeline stage by stage: 0 cut, 1 flatten, 2 clean-up, 3 match.
void BM_Stage(benchmark::State& state) {
  const Rule1& rule = shipped_rule1();
  const Text page = test::discuz_listing(test::sample_threads(50, 6699100), true, 120);
  const Text cut = cut_listing(page, rule.before, rule.after);
  Text prepared = cut;
  prepare_listing(1, prepared);
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        benchmark::DoNotOptimize(text_between(page, rule.before, rule.after));
        break;
      case 1: {
        Text t = cut;
        benchmark::DoNotOptimize(flatten_page(t));
        break;
      }
      case 2: {
        Text t = cut;
        prepare_listing(1, t);
        benchmark::DoNotOptimize(t);
        break;
      }
      case 3:
        benchmark::DoNotOptimize(match_posts(prepared, rule.reg, rule.tindex, rule.idindex));
        break;
    }
  }
  state.counters["cut_kb"] = cut.size() / 1024.0;
}
BENCHMARK(BM_Stage)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// A found-post table of a million rows, made once.
class StoredPosts {
 public:
  StoredPosts() {
    test::make_database(dir_.path() / "info.sdb",
                        "CREATE TABLE info (planname TEXT, planid INTEGER, title TEXT, url TEXT, "
                        "addtime TEXT, zt INTEGER);");
    sqlite3* raw = nullptr;
    sqlite3_open((dir_.path() / "info.sdb").c_str(), &raw);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO info VALUES ('site', 1, 'title', ?, '12/9  08:00', 0)", -1,
                       &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string url =
          i % 2 ? "http://www.zuanke8.com/thread-" + std::to_string(5000000 + i) + "-1-1.html"
                : "http://www.zuanke8.com/forum.php?mod=viewthread&tid=" +
                      std::to_string(5000000 + i) + "&extra=page%3D1";
      sqlite3_bind_text(insert, 1, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    db_.db_open(dir_.path() / "info.sdb");
  }
  static constexpr int kRows = 1000000;
  Database& db() { return db_; }
  // Ids of a listing page: half stored, half new.
  std::string id(int64_t i) const {
    return std::to_string(i % 2 ? 5000000 + (i * 7919) % kRows : 6699000 + i % 1000);
  }

 private:
  test::TempDir dir_;
  Database db_;
};

StoredPosts& stored_posts() {
  static StoredPosts posts;
  return posts;
}

// The plain statement: "SELECT * from info where URL like '%id%'".
void BM_StoredLookup_LikeStatement(benchmark::State& state) {
  StoredPosts& posts = stored_posts();
  int64_t i = 0, hits = 0;
  for (auto _ : state)
    hits += posts.db()
                .db_query("SELECT * from info where URL like ?", {"%" + posts.id(i++) + "%"})
                .row_count() > 0;
  state.counters["hit_ratio"] = static_cast<double>(hits) / static_cast<double>(i);
}
BENCHMARK(BM_StoredLookup_LikeStatement)->Unit(benchmark::kMillisecond)->Iterations(20);

// The index the crawler asks; its one-time load is measured separately.
void BM_StoredLookup_Index(benchmark::State& state) {
  StoredPosts& posts = stored_posts();
  StoredPostIndex index(posts.db());
  index.contains("0");  // loads
  int64_t i = 0, hits = 0;
  for (auto _ : state) hits += index.contains(posts.id(i++));
  state.counters["hit_ratio"] = static_cast<double>(hits) / static_cast<double>(i);
}
BENCHMARK(BM_StoredLookup_Index)->Unit(benchmark::kMicrosecond);

void BM_StoredLookup_IndexLoad(benchmark::State& state) {
  StoredPosts& posts = stored_posts();
  for (auto _ : state) {
    StoredPostIndex index(posts.db());
    benchmark::DoNotOptimize(index.contains("6699009"));
  }
}
BENCHMARK(BM_StoredLookup_IndexLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// Anonymous resident memory of this process (the heap's), in MB (Linux).
double resident_mb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("RssAnon:", 0) == 0) return std::stod(line.substr(8)) / 1024;
  return 0;
}

// The index as the monitor uses it: loaded by the first wave on the worker
// thread, released after it. held_mb is what it took, left_mb what the
// process still holds of that after the release (memory the allocator kept).
void BM_StoredLookup_IndexRelease(benchmark::State& state) {
  StoredPosts& posts = stored_posts();
  double held = 0, left = 0;
  for (auto _ : state) {
    StoredPostIndex index(posts.db());
    std::thread worker([&] {
      const double start = resident_mb();
      benchmark::DoNotOptimize(index.contains("6699009"));
      held = resident_mb() - start;
      index.release();
      left = resident_mb() - start;
    });
    worker.join();
  }
  state.counters["held_mb"] = held;
  state.counters["left_mb"] = left;
}
BENCHMARK(BM_StoredLookup_IndexRelease)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qnl

BENCHMARK_MAIN();
