#include "platform/Registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>

#include "platform/SimEnvironment.h"

namespace platform {
namespace {

// Long enough that a write never fails because another process holds the lock for a moment, or
// because the machine is so loaded that the holder barely runs.
constexpr std::chrono::milliseconds kBusyLimit{10000};
// Short, so that a waiting writer finds the lock free between a busy neighbour's transactions
// instead of sleeping over them.
constexpr std::chrono::milliseconds kBusyPoll{1};

// Waits out another connection's lock on the file. The limit is real time since the wait began.
class BusyWait {
 public:
  std::chrono::milliseconds limit = kBusyLimit;
  // Called before the attempt number `count` + 1 (0 at the first refusal); false: give up.
  bool again(int count) {
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) since_ = now;
    if (now - since_ >= limit) return false;
    std::this_thread::sleep_for(kBusyPoll);
    return true;
  }
  static int handler(void* self, int count) { return static_cast<BusyWait*>(self)->again(count); }

 private:
  std::chrono::steady_clock::time_point since_;
};

constexpr sqlite3_int64 rootId(RegRoot root) { return root == RegRoot::CurrentUser ? 1 : 2; }

// Keys and values compare under NOCASE (ASCII letters fold); AUTOINCREMENT keeps a deleted key's
// id from being handed to a new key, so an open handle of a deleted key stays dead.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data,
  PRIMARY KEY(key, name));
INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, 'HKEY_CURRENT_USER');
INSERT OR IGNORE INTO keys(id, parent, name) VALUES(2, NULL, 'HKEY_LOCAL_MACHINE');
)";

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// A zero-length bind needs a non-null pointer, else SQLite stores NULL.
const char kEmpty[] = "";

// One use of a prepared statement; resets it on the way out so it can be used again.
class Query {
 public:
  explicit Query(const StmtPtr& s) : s_(s.get()) {}
  ~Query() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int i, sqlite3_int64 v) {
    ok_ = ok_ && sqlite3_bind_int64(s_, i, v) == SQLITE_OK;
    return *this;
  }
  Query& bind(int i, std::string_view text) {
    ok_ = ok_ && sqlite3_bind_text64(s_, i, text.empty() ? kEmpty : text.data(), text.size(),
                                     SQLITE_TRANSIENT, SQLITE_UTF8) == SQLITE_OK;
    return *this;
  }
  Query& bindBlob(int i, std::string_view bytes) {
    ok_ = ok_ && sqlite3_bind_blob64(s_, i, bytes.empty() ? kEmpty : bytes.data(), bytes.size(),
                                     SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
  }

  // True while rows come; false at the end or on an error.
  bool next() { return ok_ && sqlite3_step(s_) == SQLITE_ROW; }
  // Runs a statement that returns no rows; true when it completed.
  bool run() { return ok_ && sqlite3_step(s_) == SQLITE_DONE; }

  sqlite3_int64 integer(int col) const { return sqlite3_column_int64(s_, col); }
  int storage(int col) const { return sqlite3_column_type(s_, col); }
  std::string bytes(int col) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, col));
    const int n = sqlite3_column_bytes(s_, col);
    return p && n > 0 ? std::string(p, static_cast<std::size_t>(n)) : std::string();
  }

 private:
  sqlite3_stmt* s_;
  bool ok_ = true;
};

// Splits "A\B\C" into its names; nullopt when a name is empty ("\A", "A\\B", "A\").
std::optional<std::vector<std::string_view>> splitPath(std::string_view path) {
  std::vector<std::string_view> names;
  if (path.empty()) return names;
  while (true) {
    const auto cut = path.find('\\');
    const auto name = path.substr(0, cut);
    if (name.empty()) return std::nullopt;
    names.push_back(name);
    if (cut == std::string_view::npos) return names;
    path.remove_prefix(cut + 1);
  }
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The order in which Windows lists subkeys: names compared after upper-casing.
bool lessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(upper(x)) < static_cast<unsigned char>(upper(y));
  });
}

std::string encodeMulti(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) {
    out += item;
    out += '\0';
  }
  return out;
}

// Every item is followed by a zero byte; anything else is not a multi-string of ours.
std::optional<std::vector<std::string>> decodeMulti(const std::string& bytes) {
  if (!bytes.empty() && bytes.back() != '\0') return std::nullopt;
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const auto end = bytes.find('\0', start);
    items.emplace_back(bytes, start, end - start);
    start = end + 1;
  }
  return items;
}

// A row (name, type, data) from any writer of the file: one that does not decode reads as missing.
std::optional<RegValue> decodeValue(const Query& q) {
  constexpr int typeCol = 1, dataCol = 2;
  RegValue v;
  v.name = q.bytes(0);
  const int storage = q.storage(dataCol);
  switch (q.integer(typeCol)) {
    case static_cast<int>(RegType::String):
    case static_cast<int>(RegType::ExpandString):
      if (storage != SQLITE_TEXT) return std::nullopt;
      v.type = static_cast<RegType>(q.integer(typeCol));
      v.text = q.bytes(dataCol);
      return v;
    case static_cast<int>(RegType::DWord): {
      if (storage != SQLITE_INTEGER) return std::nullopt;
      const auto n = q.integer(dataCol);
      if (n < 0 || n > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
      v.type = RegType::DWord;
      v.dword = static_cast<std::uint32_t>(n);
      return v;
    }
    case static_cast<int>(RegType::MultiString): {
      if (storage != SQLITE_BLOB) return std::nullopt;
      auto items = decodeMulti(q.bytes(dataCol));
      if (!items) return std::nullopt;
      v.type = RegType::MultiString;
      v.multi = std::move(*items);
      return v;
    }
    default:
      return std::nullopt;
  }
}

// The connection with its statements, shared by a registry and the keys opened through it.
struct Store {
  std::mutex mutex;  // one connection, its statements shared by every thread
  DbPtr db;
  BusyWait busy;
  bool administrator = false;
  StmtPtr begin, beginWrite, commit, rollback;
  StmtPtr findChild, insertChild, childNames, deleteKey;
  StmtPtr getValue, listValues, putValue, removeValue;

  bool writable(RegRoot root) const { return administrator || root == RegRoot::CurrentUser; }

  bool prepare(StmtPtr& out, const char* sql) {
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    out.reset(s);
    return rc == SQLITE_OK && s;
  }

  bool prepareAll() {
    return prepare(begin, "BEGIN") && prepare(beginWrite, "BEGIN IMMEDIATE") &&
           prepare(commit, "COMMIT") && prepare(rollback, "ROLLBACK") &&
           prepare(findChild, "SELECT id, name FROM keys WHERE parent = ?1 AND name = ?2") &&
           prepare(insertChild, "INSERT INTO keys(parent, name) VALUES(?1, ?2)") &&
           prepare(childNames, "SELECT name FROM keys WHERE parent = ?1") &&
           prepare(deleteKey, "DELETE FROM keys WHERE id = ?1") &&
           prepare(getValue, "SELECT name, type, data FROM vals WHERE key = ?1 AND name = ?2") &&
           prepare(listValues, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid") &&
           prepare(
               putValue,
               "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
               "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data") &&
           prepare(removeValue, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
  }

  struct Found {
    sqlite3_int64 id = 0;
    std::string path;  // the stored names, joined
  };

  std::optional<Found> child(sqlite3_int64 parent, std::string_view name) {
    Query q(findChild);
    q.bind(1, parent).bind(2, name);
    if (!q.next()) return std::nullopt;
    return Found{q.integer(0), q.bytes(1)};
  }

  std::optional<sqlite3_int64> addChild(sqlite3_int64 parent, std::string_view name) {
    Query q(insertChild);
    if (!q.bind(1, parent).bind(2, name).run()) return std::nullopt;
    return sqlite3_last_insert_rowid(db.get());
  }

  // Walks `path` down from key `from`, making missing keys when `create`; inside a transaction.
  std::optional<Found> walk(sqlite3_int64 from, std::string_view path, bool create) {
    const auto names = splitPath(path);
    if (!names) return std::nullopt;
    Found at{from, {}};
    for (const auto name : *names) {
      auto next = child(at.id, name);
      if (!next && create) {
        const auto id = addChild(at.id, name);
        if (id) next = Found{*id, std::string(name)};
      }
      if (!next) return std::nullopt;
      at.id = next->id;
      if (!at.path.empty()) at.path += '\\';
      at.path += next->path;
    }
    return at;
  }

  bool deleteTree(sqlite3_int64 from, std::string_view path);
};

// A transaction that rolls back unless committed.
class Transaction {
 public:
  Transaction(Store& store, bool write) : store_(store) {
    open_ = Query(write ? store.beginWrite : store.begin).run();
  }
  ~Transaction() {
    if (open_) Query(store_.rollback).run();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool ok() const { return open_; }
  bool commit() {
    if (!open_ || !Query(store_.commit).run()) return false;
    open_ = false;
    return true;
  }

 private:
  Store& store_;
  bool open_ = false;
};

// Deletes the key `path` below `from` with everything under it (the schema cascades).
bool Store::deleteTree(sqlite3_int64 from, std::string_view path) {
  if (path.empty()) return false;
  Transaction t(*this, true);
  if (!t.ok()) return false;
  const auto found = walk(from, path, false);
  if (!found || !Query(deleteKey).bind(1, found->id).run()) return false;
  return sqlite3_changes(db.get()) > 0 && t.commit();
}

}  // namespace

struct Registry::Impl : Store {
  std::optional<RegistryFault> fault;
};

struct RegKey::Impl {
  std::shared_ptr<Store> reg;
  sqlite3_int64 id = 0;
  std::string path;
  std::uint32_t access = 0;

  bool allows(std::uint32_t rights) const { return (access & rights) == rights; }

  // One value write in its own transaction; the foreign key refuses a key deleted meanwhile.
  template <class BindData>
  bool put(std::string_view name, RegType type, const BindData& bindData) {
    if (!allows(kKeySetValue)) return false;
    std::lock_guard lock(reg->mutex);
    Transaction t(*reg, true);
    if (!t.ok()) return false;
    Query q(reg->putValue);
    q.bind(1, id).bind(2, name).bind(3, static_cast<sqlite3_int64>(type));
    bindData(q);
    return q.run() && t.commit();
  }
};

namespace {
const std::string kNoPath;
}  // namespace

RegKey::RegKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;
RegKey::~RegKey() = default;

const std::string& RegKey::path() const { return impl_ ? impl_->path : kNoPath; }

std::optional<RegValue> RegKey::value(std::string_view name) const {
  if (!impl_ || !impl_->allows(kKeyQueryValue)) return std::nullopt;
  std::lock_guard lock(impl_->reg->mutex);
  Query q(impl_->reg->getValue);
  q.bind(1, impl_->id).bind(2, name);
  if (!q.next()) return std::nullopt;
  return decodeValue(q);
}

bool RegKey::hasValue(std::string_view name) const { return value(name).has_value(); }

std::vector<RegValue> RegKey::values() const {
  std::vector<RegValue> out;
  if (!impl_ || !impl_->allows(kKeyQueryValue)) return out;
  std::lock_guard lock(impl_->reg->mutex);
  Query q(impl_->reg->listValues);
  q.bind(1, impl_->id);
  while (q.next()) {
    if (auto v = decodeValue(q)) out.push_back(std::move(*v));
  }
  return out;
}

bool RegKey::setString(std::string_view name, std::string_view text, bool expandable) {
  if (!impl_) return false;
  return impl_->put(name, expandable ? RegType::ExpandString : RegType::String,
                    [&](Query& q) { q.bind(4, text); });
}

bool RegKey::setDWord(std::string_view name, std::uint32_t value) {
  if (!impl_) return false;
  return impl_->put(name, RegType::DWord,
                    [&](Query& q) { q.bind(4, static_cast<sqlite3_int64>(value)); });
}

bool RegKey::setMultiString(std::string_view name, const std::vector<std::string>& items) {
  // A zero byte inside an item would split it on the way back.
  const bool representable = std::none_of(items.begin(), items.end(), [](const std::string& s) {
    return s.find('\0') != std::string::npos;
  });
  if (!impl_ || !representable) return false;
  const std::string bytes = encodeMulti(items);
  return impl_->put(name, RegType::MultiString, [&](Query& q) { q.bindBlob(4, bytes); });
}

bool RegKey::deleteValue(std::string_view name) {
  if (!impl_ || !impl_->allows(kKeySetValue)) return false;
  auto& reg = *impl_->reg;
  std::lock_guard lock(reg.mutex);
  Transaction t(reg, true);
  if (!t.ok() || !Query(reg.removeValue).bind(1, impl_->id).bind(2, name).run()) return false;
  return sqlite3_changes(reg.db.get()) > 0 && t.commit();
}

std::vector<std::string> RegKey::subKeyNames() const {
  std::vector<std::string> names;
  if (!impl_ || !impl_->allows(kKeyEnumerateSubKeys)) return names;
  {
    std::lock_guard lock(impl_->reg->mutex);
    Query q(impl_->reg->childNames);
    q.bind(1, impl_->id);
    while (q.next()) names.push_back(q.bytes(0));
  }
  std::sort(names.begin(), names.end(), lessIgnoringCase);
  return names;
}

bool RegKey::deleteSubKeyTree(std::string_view name) {
  if (!impl_ || !impl_->allows(kKeyCreateSubKey | kKeySetValue)) return false;
  std::lock_guard lock(impl_->reg->mutex);
  return impl_->reg->deleteTree(impl_->id, name);
}

Registry::Registry(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
Registry::~Registry() = default;

namespace {

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// WAL lets readers and one writer of other processes go on together. The switch reads the header,
// then upgrades that read to a write; SQLite never calls the busy handler for such an upgrade (two
// upgrading readers would wait on each other), so another process making or switching the same
// file at that moment fails it at once with SQLITE_BUSY. The failed statement ended its read, so
// waiting and running it again is what the busy handler would have done.
bool switchToWal(sqlite3* db, BusyWait& busy) {
  for (int count = 0;; ++count) {
    const int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return true;
    if ((rc & 0xFF) != SQLITE_BUSY || !busy.again(count)) return false;
  }
}

// A whole, readable file answers "ok" and nothing else; otherwise, what is wrong with it.
std::optional<std::string> whyNotWhole(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &raw, nullptr) != SQLITE_OK)
    return std::string(sqlite3_errmsg(db));
  StmtPtr s(raw);
  const int rc = sqlite3_step(raw);
  if (rc != SQLITE_ROW) return std::string(sqlite3_errmsg(db));
  const auto* first = sqlite3_column_text(raw, 0);
  const bool ok = first && std::string_view(reinterpret_cast<const char*>(first)) == "ok" &&
                  sqlite3_step(raw) == SQLITE_DONE;
  if (!ok) return std::string("the database is damaged");
  return std::nullopt;
}

// The columns of each of our tables, in their order.
const std::pair<const char*, std::vector<std::string>> kTables[] = {
    {"keys", {"id", "parent", "name"}},
    {"vals", {"key", "name", "type", "data"}},
};

std::vector<std::string> textColumn(sqlite3* db, const std::string& sql, int column, bool& ok) {
  std::vector<std::string> out;
  sqlite3_stmt* raw = nullptr;
  ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) == SQLITE_OK;
  StmtPtr s(raw);
  int rc = SQLITE_DONE;
  while (ok && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
    const auto* t = sqlite3_column_text(raw, column);
    out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
  }
  ok = ok && rc == SQLITE_DONE;
  return out;
}

// A file is ours when it holds nothing yet (a new one) or when it holds our tables with our
// columns; anything else belongs to another program. Only reads.
std::optional<std::string> whyNotOurs(sqlite3* db) {
  bool ok = true;
  const auto objects = textColumn(db, "SELECT name FROM sqlite_schema", 0, ok);
  if (!ok) return std::string(sqlite3_errmsg(db));
  if (objects.empty()) return std::nullopt;
  for (const auto& [table, columns] : kTables) {
    const auto found = textColumn(db, std::string("PRAGMA table_info(") + table + ")", 1, ok);
    if (!ok) return std::string(sqlite3_errmsg(db));
    if (found != columns) return std::string("the file holds the tables of another program");
  }
  return std::nullopt;
}

// Whole and ours, checked with every write refused: a file that is not one of ours (or is
// damaged) must be left exactly as it is, and switching the journal mode writes the header.
std::optional<std::string> whyNotUsable(sqlite3* db) {
  if (!exec(db, "PRAGMA query_only=ON")) return std::string(sqlite3_errmsg(db));
  std::optional<std::string> why = whyNotWhole(db);
  if (!why) why = whyNotOurs(db);
  if (!why && !exec(db, "PRAGMA query_only=OFF")) why = sqlite3_errmsg(db);
  return why;
}

}  // namespace

std::unique_ptr<Registry> Registry::open(const std::string& file, bool administrator,
                                         std::string* whyNot) {
  auto impl = std::make_shared<Impl>();
  impl->administrator = administrator;
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  impl->db.reset(raw);
  const auto refuse = [&]() -> std::unique_ptr<Registry> {
    if (whyNot) *whyNot = raw ? sqlite3_errmsg(raw) : "out of memory";
    return nullptr;
  };
  if (rc != SQLITE_OK) return refuse();
  sqlite3* db = impl->db.get();
  sqlite3_busy_handler(db, &BusyWait::handler, &impl->busy);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  if (const auto why = whyNotUsable(db)) {
    if (whyNot) *whyNot = *why;
    return nullptr;
  }
  // NORMAL sync keeps every commit through a killed process and the file whole through a power cut.
  const bool ready = switchToWal(db, impl->busy) && exec(db, "PRAGMA synchronous=NORMAL") &&
                     exec(db, "PRAGMA foreign_keys=ON") &&
                     exec(db, (std::string("BEGIN IMMEDIATE;") + kSchema + "COMMIT;").c_str()) &&
                     impl->prepareAll();
  if (!ready) return refuse();
  return std::unique_ptr<Registry>(new Registry(std::move(impl)));
}

std::unique_ptr<Registry> Registry::openOrStandIn(const std::string& file, bool administrator) {
  std::string why;
  if (auto r = open(file, administrator, &why)) return r;
  auto r = open(":memory:", administrator);
  if (!r) {
    std::fputs("tarvex: cannot open an in-memory registry either\n", stderr);
    std::abort();
  }
  r->impl_->fault = RegistryFault{file, why};
  return r;
}

const std::optional<RegistryFault>& Registry::fault() const { return impl_->fault; }

void Registry::setBusyLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(impl_->mutex);
  impl_->busy.limit = limit;
}

std::optional<RegKey> Registry::openKey(RegRoot root, std::string_view path, std::uint32_t access,
                                        bool create) {
  const bool writable = impl_->writable(root);
  if (!writable && (access & ~kKeyRead) != 0) return std::nullopt;
  create = create && writable;
  std::lock_guard lock(impl_->mutex);
  Transaction t(*impl_, create);
  if (!t.ok()) return std::nullopt;
  auto found = impl_->walk(rootId(root), path, create);
  if (!found || !t.commit()) return std::nullopt;
  auto key = std::make_unique<RegKey::Impl>();
  key->reg = impl_;
  key->id = found->id;
  key->path = std::move(found->path);
  key->access = access;
  return RegKey(std::move(key));
}

bool Registry::deleteKeyTree(RegRoot root, std::string_view path) {
  if (!impl_->writable(root)) return false;
  std::lock_guard lock(impl_->mutex);
  return impl_->deleteTree(rootId(root), path);
}

namespace {

std::atomic<Registry*> installed{nullptr};

std::unique_ptr<Registry> openDefault() {
  const std::string host = sim::thisHostName();
  const std::string file = sim::registryFile(host);
  const char* admin = std::getenv("TARVEX_ADMIN");
  const bool administrator = admin && std::string_view(admin) == "1";
  sim::ensureHostDir(host);  // a folder that cannot be made fails the open below
  auto r = Registry::openOrStandIn(file, administrator);
  if (r->fault())
    std::fprintf(stderr, "tarvex: cannot open the registry %s (%s); settings last only for this run\n",
                 file.c_str(), r->fault()->reason.c_str());
  return r;
}

}  // namespace

Registry& registry() {
  if (Registry* r = installed.load()) return *r;
  static const std::unique_ptr<Registry> ofThisHost = openDefault();
  return *ofThisHost;
}

void setRegistry(Registry* r) { installed.store(r); }

}  // namespace platform
