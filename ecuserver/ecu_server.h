// The controller-database server: where a named parameter of a programming image lies, for the
// database ids that the image carries. Backed by one SQLite file, opened read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// The record the server fills for a parameter. Byte-packed, 6053 bytes; callers read the table,
// the item and the two size factors, whose product is the parameter's length in bytes. The
// factors lie at odd offsets, so they are kept as bytes (host order) behind accessors.
struct ParameterInfo {
  uint8_t reserved0[5994];
  uint8_t nTable;  // parameter table that holds the value
  uint8_t reserved1[3];
  uint8_t nItem;  // item of that table
  uint8_t reserved2[7];
  uint8_t nSizeFactor1[4];
  uint8_t nSizeFactor2[4];
  uint8_t reserved3[39];

  uint32_t SizeFactor1() const { return Get(nSizeFactor1); }
  uint32_t SizeFactor2() const { return Get(nSizeFactor2); }
  void SetSizeFactor1(uint32_t v) { std::memcpy(nSizeFactor1, &v, 4); }
  void SetSizeFactor2(uint32_t v) { std::memcpy(nSizeFactor2, &v, 4); }

 private:
  static uint32_t Get(const uint8_t (&bytes)[4]) {
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
  }
};

static_assert(sizeof(ParameterInfo) == 6053);
static_assert(alignof(ParameterInfo) == 1);
static_assert(offsetof(ParameterInfo, nTable) == 5994);
static_assert(offsetof(ParameterInfo, nItem) == 5998);
static_assert(offsetof(ParameterInfo, nSizeFactor1) == 6006);
static_assert(offsetof(ParameterInfo, nSizeFactor2) == 6010);

// Environment variable that names the controller database to use.
inline constexpr const char* kTdbEnvVar = "TESSARY_TDB";
// File name of the default controller database in the data folder and beside the executable.
inline constexpr const char* kTdbFileName = "controllers.tdb";

// The default controller database: $TESSARY_TDB when set and not empty, else the installed data
// folder's file when it exists (<bindir>/../share/tessary/, reached from the running executable's
// folder), else the file beside the running executable.
std::string DefaultTDBPath();

// Why a database file could not be used. A database that opens but does not know a parameter is
// no problem of the file.
enum class TdbProblem {
  none,
  missing,           // no file at the path
  notRegularFile,    // a folder, a pipe, a device or a socket: fileMode tells which
  unreadable,        // the file cannot be opened for reading: osError tells why
  notDatabase,       // not an SQLite database, or a damaged one: detail has SQLite's words
  noParameterTable,  // no table "parameter" (a view or a virtual table of that name is not one)
  missingColumn,     // the table lacks the column named in detail
  computedColumn,    // the column named in detail is computed, not stored
  noUniqueKey,       // no key that keeps one row per ids and name
  queryUnfinished,   // a query ran past its bound (a hostile schema), or was interrupted
};

struct TdbStatus {
  TdbProblem problem = TdbProblem::none;
  std::string path;    // the file that was tried
  std::string detail;  // see TdbProblem
  int osError = 0;
  uint32_t fileMode = 0;  // st_mode of a file that is not a regular one
};

class CECUServer {
 public:
  CECUServer() = default;
  virtual ~CECUServer();
  CECUServer(const CECUServer&) = delete;
  CECUServer& operator=(const CECUServer&) = delete;

  // Opens the default database for these ids. Nonzero when it opened and knows the ids; the
  // callers go on either way, and a database that did not open simply knows no parameter:
  // GetStatus() then says which file was tried and why it could not be used.
  int OpenDefaultTDBOffline(int ProjectID, int Table0Rev);
  // Nonzero, with info's table, item and size factors filled, when the open database holds the
  // parameter for the ids; zero otherwise, info untouched.
  int GetParameterInfo(const char* name, ParameterInfo* info);
  // What the last open found; TdbProblem::none before any open and after one that worked. A
  // query stopped by its bound during GetParameterInfo is recorded here too.
  const TdbStatus& GetStatus() const { return m_status; }

  // Opens the file at path read-only as a controller database, as OpenDefaultTDBOffline does,
  // and says whether it can be used. Nothing is looked up.
  static TdbStatus Check(const std::string& path);

 private:
  void Close();

  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_query = nullptr;
  int m_projectID = 0;
  int m_table0Rev = 0;
  TdbStatus m_status;
  int64_t m_deadline = 0;  // steady-clock nanoseconds after which the running query stops
};
