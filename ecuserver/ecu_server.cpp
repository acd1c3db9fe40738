#include "ecuserver/ecu_server.h"

#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The program's own folder with its closing "/"; "./" when it cannot be told.
std::string ExecutableFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  return tessary::FolderPart(std::string(buf, static_cast<size_t>(n)));
}

// A column that must hold an integer in [0, max].
bool ColumnInRange(sqlite3_stmt* stmt, int column, int64_t max, int64_t& value) {
  if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) return false;
  value = sqlite3_column_int64(stmt, column);
  return value >= 0 && value <= max;
}

// A database is a small file read in a few steps: any query that runs longer than this is stopped.
constexpr std::chrono::seconds kQueryBound{2};
// Virtual-machine steps between two looks at the clock.
constexpr int kProgressSteps = 1000;
// No text or blob of a controller database comes near this; a hostile one is refused at it.
constexpr int kLengthLimit = 1 << 20;

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t DeadlineFromNow() { return Now() + std::chrono::duration_cast<std::chrono::nanoseconds>(kQueryBound).count(); }

int PastDeadline(void* deadline) { return Now() > *static_cast<const int64_t*>(deadline) ? 1 : 0; }

bool SameName(const unsigned char* a, const char* b) {
  return a && ::strcasecmp(reinterpret_cast<const char*>(a), b) == 0;
}

// The columns the lookup reads; the first three are the ones a row is found by.
constexpr std::array<const char*, 7> kColumns = {"project_id", "table0_rev",   "name",        "table_no",
                                                 "item_no",    "size_factor1", "size_factor2"};
constexpr size_t kKeyColumns = 3;

bool IsKeyColumn(const unsigned char* column) {
  for (size_t i = 0; i < kKeyColumns; ++i)
    if (SameName(column, kColumns[i])) return true;
  return false;
}

// Notes in status why a query stopped with rc; a row or the end is no failure.
void NoteQueryFailure(sqlite3* db, int rc, TdbStatus& status) {
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  if ((rc & 0xFF) == SQLITE_INTERRUPT) {
    status.problem = TdbProblem::queryUnfinished;
  } else {
    status.problem = TdbProblem::notDatabase;
    status.detail = sqlite3_errmsg(db);
  }
}

// Runs sql and hands each row to row; false when it did not run to its end. The status says why.
template <typename Row>
bool ForEachRow(sqlite3* db, const char* sql, int64_t& deadline, TdbStatus& status, Row&& row) {
  deadline = DeadlineFromNow();
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
  }
  sqlite3_finalize(stmt);
  NoteQueryFailure(db, rc, status);
  return rc == SQLITE_DONE;
}

// The schema the lookup relies on: a stored table "parameter" with the columns it reads, and a
// key that allows one row per ids and name at most, so that a lookup has one answer.
bool SchemaIsSound(sqlite3* db, int64_t& deadline, TdbStatus& status) {
  bool table = false;
  if (!ForEachRow(db,
                  "SELECT type, sql FROM sqlite_master WHERE type IN ('table', 'view') AND "
                  "name = 'parameter' COLLATE NOCASE",
                  deadline, status, [&](sqlite3_stmt* stmt) {
                    const auto* sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
                    table = SameName(sqlite3_column_text(stmt, 0), "table") &&
                            !(sql && ::strncasecmp(sql, "CREATE VIRTUAL", 14) == 0);
                  }))
    return false;
  if (!table) {
    status.problem = TdbProblem::noParameterTable;
    return false;
  }

  std::array<int, kColumns.size()> hidden;
  hidden.fill(-1);
  int primaryKeyColumns = 0;
  bool rowidKey = false;  // an INTEGER PRIMARY KEY on a key column: unique, though no index shows it
  if (!ForEachRow(db, "SELECT name, hidden, pk, type FROM pragma_table_xinfo('parameter')", deadline, status,
                  [&](sqlite3_stmt* stmt) {
                    const unsigned char* name = sqlite3_column_text(stmt, 0);
                    for (size_t i = 0; i < kColumns.size(); ++i)
                      if (SameName(name, kColumns[i])) hidden[i] = sqlite3_column_int(stmt, 1);
                    if (sqlite3_column_int(stmt, 2) > 0) {
                      ++primaryKeyColumns;
                      rowidKey = IsKeyColumn(name) && SameName(sqlite3_column_text(stmt, 3), "INTEGER");
                    }
                  }))
    return false;
  for (size_t i = 0; i < kColumns.size(); ++i) {
    if (hidden[i] == 0) continue;
    status.problem = hidden[i] < 0 ? TdbProblem::missingColumn : TdbProblem::computedColumn;
    status.detail = kColumns[i];
    return false;
  }
  if (primaryKeyColumns == 1 && rowidKey) return true;

  // A unique index (the primary key's among them) whose columns are all key columns.
  std::vector<std::string> indexes;
  if (!ForEachRow(db, "SELECT name FROM pragma_index_list('parameter') WHERE \"unique\" AND NOT partial", deadline,
                  status, [&](sqlite3_stmt* stmt) {
                    if (const unsigned char* name = sqlite3_column_text(stmt, 0))
                      indexes.emplace_back(reinterpret_cast<const char*>(name));
                  }))
    return false;
  for (const std::string& index : indexes) {
    char* sql = sqlite3_mprintf("SELECT cid, name FROM pragma_index_info(%Q)", index.c_str());
    if (!sql) {
      status.problem = TdbProblem::notDatabase;
      status.detail = sqlite3_errstr(SQLITE_NOMEM);
      return false;
    }
    bool keyOnly = true, any = false;
    const bool ran = ForEachRow(db, sql, deadline, status, [&](sqlite3_stmt* stmt) {
      any = true;
      keyOnly = keyOnly && sqlite3_column_int(stmt, 0) >= 0 && IsKeyColumn(sqlite3_column_text(stmt, 1));
    });
    sqlite3_free(sql);
    if (!ran) return false;
    if (any && keyOnly) return true;
  }
  status.problem = TdbProblem::noUniqueKey;
  return false;
}

// The last file whose schema was found sound, by what stat says of it: one command opens the same
// database several times, and a file that has not changed since need not be looked at again.
struct SoundFile {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};

  bool Matches(const std::string& p, const struct stat& st) const {
    return p == path && st.st_dev == device && st.st_ino == inode && st.st_size == size &&
           st.st_mtim.tv_sec == modified.tv_sec && st.st_mtim.tv_nsec == modified.tv_nsec &&
           st.st_ctim.tv_sec == changed.tv_sec && st.st_ctim.tv_nsec == changed.tv_nsec;
  }
};

std::mutex g_soundMutex;
SoundFile g_sound;

bool KnownSound(const std::string& path, const struct stat& st) {
  std::lock_guard<std::mutex> lock(g_soundMutex);
  return g_sound.Matches(path, st);
}

void RememberSound(const std::string& path, const struct stat& st) {
  std::lock_guard<std::mutex> lock(g_soundMutex);
  g_sound = SoundFile{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// Opens path read-only as a controller database; null, with the status saying why, when it
// cannot be used. Queries on the connection stop at deadline (set before each one).
sqlite3* OpenTdb(const std::string& path, int64_t& deadline, TdbStatus& status) {
  status = TdbStatus{};
  status.path = path;
  // Looked at first: a named pipe would hold SQLite's open until someone writes to it.
  struct stat st;
  const int fd = OpenRegularForReading(path, st);
  if (fd == kNotRegularFile) {
    status.problem = TdbProblem::notRegularFile;
    status.fileMode = static_cast<uint32_t>(st.st_mode);
    return nullptr;
  }
  if (fd < 0) {
    status.osError = -fd;
    status.problem = -fd == ENOENT ? TdbProblem::missing : TdbProblem::unreadable;
    return nullptr;
  }
  ::close(fd);

  sqlite3* db = nullptr;
  // Read-only and never created: a missing file stays missing.
  if (const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); rc != SQLITE_OK) {
    status.problem = TdbProblem::notDatabase;
    status.detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 1000);
  // The file is data, not code: its schema gets no say in what runs.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kLengthLimit);
  sqlite3_progress_handler(db, kProgressSteps, PastDeadline, &deadline);
  if (KnownSound(path, st)) return db;
  if (!SchemaIsSound(db, deadline, status)) {
    sqlite3_close(db);
    return nullptr;
  }
  RememberSound(path, st);
  return db;
}

}  // namespace

std::string DefaultTDBPath() {
  const char* env = std::getenv(kTdbEnvVar);
  if (env && *env) return env;
  const std::string folder = ExecutableFolder();
  // The data folder of an installed program, reached from its own folder so that the installed
  // tree may live under any prefix.
  const std::string installed = (std::filesystem::path(folder) / TESSARY_TDB_FROM_BINDIR).lexically_normal();
  if (IsFile(installed)) return installed;
  return folder + kTdbFileName;
}

CECUServer::~CECUServer() { Close(); }

void CECUServer::Close() {
  sqlite3_finalize(m_query);
  m_query = nullptr;
  sqlite3_close(m_db);
  m_db = nullptr;
}

TdbStatus CECUServer::Check(const std::string& path) {
  TdbStatus status;
  int64_t deadline = 0;
  sqlite3_close(OpenTdb(path, deadline, status));
  return status;
}

int CECUServer::OpenDefaultTDBOffline(int ProjectID, int Table0Rev) {
  Close();
  m_projectID = ProjectID;
  m_table0Rev = Table0Rev;
  m_db = OpenTdb(DefaultTDBPath(), m_deadline, m_status);
  if (!m_db) return 0;
  // Names are compared byte for byte, whatever collation the file gives the column.
  static const char kQuery[] =
      "SELECT table_no, item_no, size_factor1, size_factor2 FROM parameter "
      "WHERE project_id = ?1 AND table0_rev = ?2 AND name COLLATE BINARY = ?3";
  if (sqlite3_prepare_v2(m_db, kQuery, -1, &m_query, nullptr) != SQLITE_OK) {
    m_status.problem = TdbProblem::notDatabase;
    m_status.detail = sqlite3_errmsg(m_db);
    Close();
    return 0;
  }
  sqlite3_stmt* probe = nullptr;
  int known = 0;
  m_deadline = DeadlineFromNow();
  if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM parameter WHERE project_id = ?1 AND table0_rev = ?2 LIMIT 1", -1, &probe,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_int(probe, 1, ProjectID);
    sqlite3_bind_int(probe, 2, Table0Rev);
    const int rc = sqlite3_step(probe);
    known = rc == SQLITE_ROW ? 1 : 0;
    if ((rc & 0xFF) == SQLITE_INTERRUPT) m_status.problem = TdbProblem::queryUnfinished;
  }
  sqlite3_finalize(probe);
  return known;
}

int CECUServer::GetParameterInfo(const char* name, ParameterInfo* info) {
  if (!m_query || !name || !info) return 0;
  sqlite3_reset(m_query);
  sqlite3_bind_int(m_query, 1, m_projectID);
  sqlite3_bind_int(m_query, 2, m_table0Rev);
  sqlite3_bind_text(m_query, 3, name, -1, SQLITE_TRANSIENT);
  m_deadline = DeadlineFromNow();
  int found = 0;
  int rc = sqlite3_step(m_query);
  if (rc == SQLITE_ROW) {
    int64_t table, item, f1, f2;
    // A row with values that do not fit the record is as good as no row.
    if (ColumnInRange(m_query, 0, UINT8_MAX, table) && ColumnInRange(m_query, 1, UINT8_MAX, item) &&
        ColumnInRange(m_query, 2, UINT32_MAX, f1) && ColumnInRange(m_query, 3, UINT32_MAX, f2)) {
      // The key allows one row; should a damaged file hold a second one, neither is trusted.
      rc = sqlite3_step(m_query);
      if (rc == SQLITE_DONE) {
        std::memset(info, 0, sizeof *info);
        info->nTable = static_cast<uint8_t>(table);
        info->nItem = static_cast<uint8_t>(item);
        info->SetSizeFactor1(static_cast<uint32_t>(f1));
        info->SetSizeFactor2(static_cast<uint32_t>(f2));
        found = 1;
      }
    }
  }
  NoteQueryFailure(m_db, rc, m_status);
  sqlite3_reset(m_query);
  sqlite3_clear_bindings(m_query);
  return found;
}
