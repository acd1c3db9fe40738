#include "ecuserver/ecu_server.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// A column that must hold an integer in [0, max].
bool ColumnInRange(sqlite3_stmt* stmt, int column, int64_t max, int64_t& value) {
  if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) return false;
  value = sqlite3_column_int64(stmt, column);
  return value >= 0 && value <= max;
}

}  // namespace

std::string DefaultTDBPath() {
  const char* env = std::getenv(TDB_ENV_VAR);
  if (env && *env) return env;
  const std::string folder = ExecutableFolder();
  // The data folder of an installed program, reached from its own folder so that the installed
  // tree may live under any prefix.
  const std::string installed = (std::filesystem::path(folder) / TESSARY_TDB_FROM_BINDIR).lexically_normal();
  if (IsFile(installed)) return installed;
  return folder + "/" + TDB_FILE_NAME;
}

CECUServer::~CECUServer() { Close(); }

void CECUServer::Close() {
  sqlite3_finalize(m_pQuery);
  m_pQuery = nullptr;
  sqlite3_close(m_pDb);
  m_pDb = nullptr;
}

int CECUServer::OpenDefaultTDBOffline(int ProjectID, int Table0Rev) {
  Close();
  m_nProjectID = ProjectID;
  m_nTable0Rev = Table0Rev;
  const std::string path = DefaultTDBPath();
  // Read-only and never created: a missing file stays missing.
  if (sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    Close();
    return 0;
  }
  sqlite3_busy_timeout(m_pDb, 1000);
  // Preparing reads the schema, so a file that is no database fails here.
  static const char kQuery[] =
      "SELECT table_no, item_no, size_factor1, size_factor2 FROM parameter "
      "WHERE project_id = ?1 AND table0_rev = ?2 AND name = ?3";
  if (sqlite3_prepare_v2(m_pDb, kQuery, -1, &m_pQuery, nullptr) != SQLITE_OK) {
    Close();
    return 0;
  }
  sqlite3_stmt* probe = nullptr;
  int known = 0;
  if (sqlite3_prepare_v2(m_pDb, "SELECT 1 FROM parameter WHERE project_id = ?1 AND table0_rev = ?2 LIMIT 1", -1,
                         &probe, nullptr) == SQLITE_OK) {
    sqlite3_bind_int(probe, 1, ProjectID);
    sqlite3_bind_int(probe, 2, Table0Rev);
    known = sqlite3_step(probe) == SQLITE_ROW ? 1 : 0;
  }
  sqlite3_finalize(probe);
  return known;
}

int CECUServer::GetParameterInfo(const char* name, ParameterInfo* info) {
  if (!m_pQuery || !name || !info) return 0;
  sqlite3_reset(m_pQuery);
  sqlite3_bind_int(m_pQuery, 1, m_nProjectID);
  sqlite3_bind_int(m_pQuery, 2, m_nTable0Rev);
  sqlite3_bind_text(m_pQuery, 3, name, -1, SQLITE_TRANSIENT);
  int found = 0;
  if (sqlite3_step(m_pQuery) == SQLITE_ROW) {
    int64_t table, item, f1, f2;
    // A row with values that do not fit the record is as good as no row.
    if (ColumnInRange(m_pQuery, 0, UINT8_MAX, table) && ColumnInRange(m_pQuery, 1, UINT8_MAX, item) &&
        ColumnInRange(m_pQuery, 2, UINT32_MAX, f1) && ColumnInRange(m_pQuery, 3, UINT32_MAX, f2)) {
      std::memset(info, 0, sizeof *info);
      info->nTable = static_cast<uint8_t>(table);
      info->nItem = static_cast<uint8_t>(item);
      info->SetSizeFactor1(static_cast<uint32_t>(f1));
      info->SetSizeFactor2(static_cast<uint32_t>(f2));
      found = 1;
    }
  }
  sqlite3_reset(m_pQuery);
  sqlite3_clear_bindings(m_pQuery);
  return found;
}
