// The stored-post index against the look-up statement: the input gives a few
// stored addresses and an id; both must agree.
#include <unistd.h>

#include <filesystem>

#include "fuzz_support.h"
#include "storage/database.h"
#include "storage/stored_posts.h"

using namespace qnl;

namespace {

Database* db = nullptr;
std::string dir;

void remove_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A small file of its own, written without waiting for the disk.
  const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  dir = std::string(base) + "/qnl-posts-fuzz-XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  const std::filesystem::path file = std::filesystem::path(dir) / "posts.sdb";
  const std::string command =
      std::string("\"") + QNL_MAKEDB + "\" \"" + QNL_SHIPPED_SQL + "\" \"" + file.string() + "\"";
  if (std::system(command.c_str()) != 0) std::abort();
  db = new Database;
  if (!db->db_open(file)) std::abort();
  db->db_execute("pragma synchronous=off");
  db->db_execute("pragma journal_mode=memory");
  std::atexit(remove_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  if (!db->db_execute("delete from info")) std::abort();
  const int count = data.ConsumeIntegralInRange(0, 4);
  const bool with_null = data.ConsumeBool();
  StoredPostIndex early(*db);  // loaded before the inserts, told of each one
  (void)early.contains("0");
  for (int i = 0; i < count; ++i) {
    const Text url = fuzz::take(data, 64);
    if (!db->insert_found_post("x", 1, "t", url, "", 0)) std::abort();
    early.add(url);
  }
  if (with_null && !db->db_execute("insert into info(planname) values('n')")) std::abort();
  const Text id = data.ConsumeRemainingBytesAsString();

  const bool stored = db->is_post_stored(id);
  StoredPostIndex fresh(*db);
  QNL_FUZZ_CHECK(fresh.contains(id) == stored);
  QNL_FUZZ_CHECK(early.contains(id) == stored);
  return 0;
}
