// Controller databases for tests: built in a temporary file from the product's schema, and made
// the default database (TESSARY_TDB) for as long as the object lives.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ecuserver/ecu_server.h"
#include "image_builder.h"
#include "prog/prog_base.h"
#include "scoped_env.h"

inline void ExecSql(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string text = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("test database: " + text);
  }
}

// Writes a database at path from the product schema with the given rows. Rows may break the
// schema's checks (to test how the server treats them): the checks are switched off for them.
inline void WriteTestTdb(const std::string& path, const std::vector<testimg::TdbRow>& rows) {
  std::remove(path.c_str());
  std::ifstream in(TESSARY_TDB_SCHEMA_SQL);
  std::stringstream schema;
  schema << in.rdbuf();
  if (schema.str().empty()) throw std::runtime_error("test database: no schema at " TESSARY_TDB_SCHEMA_SQL);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("test database: cannot create " + path);
  }
  try {
    ExecSql(db, schema.str());
    ExecSql(db, "PRAGMA ignore_check_constraints = ON");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO parameter (project_id, table0_rev, name, table_no, item_no, size_factor1, "
                       "size_factor2) VALUES (?, ?, ?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    for (const testimg::TdbRow& r : rows) {
      sqlite3_bind_int(insert, 1, r.projectId);
      sqlite3_bind_int(insert, 2, r.table0Rev);
      sqlite3_bind_text(insert, 3, r.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(insert, 4, r.table);
      sqlite3_bind_int64(insert, 5, r.item);
      sqlite3_bind_int64(insert, 6, r.sizeFactor1);
      sqlite3_bind_int64(insert, 7, r.sizeFactor2);
      const int rc = sqlite3_step(insert);
      sqlite3_reset(insert);
      if (rc != SQLITE_DONE) {
        sqlite3_finalize(insert);
        throw std::runtime_error("test database: insert failed");
      }
    }
    sqlite3_finalize(insert);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

// Writes a database at path from sql alone: for files of other schemas than the product's.
inline void WriteSqlTdb(const std::string& path, const std::string& sql) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("test database: cannot create " + path);
  }
  try {
    ExecSql(db, sql);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

// Files that cannot serve as the controller database, each made at a path (where nothing is), and
// what the server finds wrong with it. The rows would find "CalIdTxt" of ids 42 / 3 if the file
// were taken.
struct UnusableTdb {
  const char* name;
  std::function<void(const std::string& path)> make;
  TdbProblem problem;
  std::string detail;  // the column, for the column problems
};

inline std::vector<UnusableTdb> UnusableTdbs() {
  const std::string columns =
      "project_id INTEGER NOT NULL, table0_rev INTEGER NOT NULL, name TEXT NOT NULL, table_no INTEGER, "
      "item_no INTEGER, size_factor1 INTEGER";
  const std::string key = ", PRIMARY KEY (project_id, table0_rev, name)";
  const auto sql = [](std::string text) { return [text](const std::string& path) { WriteSqlTdb(path, text); }; };
  return {
      {"missing file", [](const std::string&) {}, TdbProblem::missing, ""},
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, TdbProblem::notRegularFile,
       ""},
      {"named pipe", [](const std::string& path) { ::mkfifo(path.c_str(), 0600); }, TdbProblem::notRegularFile, ""},
      {"text file",
       [](const std::string& path) { std::ofstream(path) << "project_id,table0_rev,name\n42,3,CalIdTxt\n"; },
       TdbProblem::notDatabase, ""},
      {"empty file", [](const std::string& path) { std::ofstream{path}; }, TdbProblem::noParameterTable, ""},
      {"a view named parameter",
       sql("CREATE TABLE rows (" + columns + ", size_factor2 INTEGER" + key +
           "); INSERT INTO rows VALUES (42, 3, 'CalIdTxt', 2, 0, 16, 1);"
           "CREATE VIEW parameter AS SELECT * FROM rows;"),
       TdbProblem::noParameterTable, ""},
      {"a view that never ends",
       sql("CREATE VIEW parameter AS WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n) "
           "SELECT 42 AS project_id, 3 AS table0_rev, 'CalIdTxt' AS name, 0 AS table_no, 0 AS item_no, "
           "1 AS size_factor1, 1 AS size_factor2 FROM n WHERE x < 0;"),
       TdbProblem::noParameterTable, ""},
      // The first "CalIdTxt" row points at the software ID.
      {"duplicate rows without a key",
       sql("CREATE TABLE parameter (" + columns +
           ", size_factor2 INTEGER);"
           "INSERT INTO parameter VALUES (42, 3, 'SwIdTxt', 1, 2, 1, 8), (42, 3, 'CalIdTxt', 1, 2, 1, 8),"
           "(42, 3, 'CalIdTxt', 2, 0, 16, 1);"),
       TdbProblem::noUniqueKey, ""},
      {"a unique index that lets rows of one name repeat",
       sql("CREATE TABLE parameter (" + columns +
           ", size_factor2 INTEGER);"
           "CREATE UNIQUE INDEX by_place ON parameter (project_id, table0_rev, name, table_no);"),
       TdbProblem::noUniqueKey, ""},
      {"a partial unique index",
       sql("CREATE TABLE parameter (" + columns +
           ", size_factor2 INTEGER);"
           "CREATE UNIQUE INDEX some ON parameter (project_id, table0_rev, name) WHERE table_no > 5;"),
       TdbProblem::noUniqueKey, ""},
      {"a column missing", sql("CREATE TABLE parameter (" + columns + key + ");"), TdbProblem::missingColumn,
       "size_factor2"},
      {"a computed column",
       sql("CREATE TABLE parameter (" + columns + ", size_factor2 INTEGER AS (size_factor1)" + key + ");"),
       TdbProblem::computedColumn, "size_factor2"},
  };
}

// Makes path the default database while it lives, and puts the previous TESSARY_TDB back after.
class ScopedTdbPath {
 public:
  explicit ScopedTdbPath(const std::string& path) : m_env("TESSARY_TDB", path.c_str()) {}

 private:
  ScopedEnv m_env;
};

// A test database in a temporary file, made the default one while it lives.
class TestTdb {
 public:
  explicit TestTdb(const std::vector<testimg::TdbRow>& rows = testimg::StandardTestRows())
      : m_path(MakePath()), m_scope(m_path) {
    WriteTestTdb(m_path, rows);
  }
  ~TestTdb() { std::remove(m_path.c_str()); }
  TestTdb(const TestTdb&) = delete;
  TestTdb& operator=(const TestTdb&) = delete;

  const std::string& path() const { return m_path; }

 private:
  static std::string MakePath() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tessary-tdb-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("test database: no temporary file");
    ::close(fd);
    return path;
  }

  std::string m_path;
  ScopedTdbPath m_scope;
};
