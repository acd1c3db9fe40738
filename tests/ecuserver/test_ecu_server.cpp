// The controller-database server over SQLite files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "ecuserver/ecu_server.h"
#include "support/temp_folder.h"
#include "support/test_tdb.h"

namespace {

ParameterInfo Filled(uint8_t byte) {
  ParameterInfo info;
  std::memset(&info, byte, sizeof info);
  return info;
}

TEST(ParameterInfoRecord, FieldsAtTheirOffsets) {
  EXPECT_EQ(sizeof(ParameterInfo), 6053u);
  ParameterInfo info = Filled(0);
  info.nTable = 3;
  info.nItem = 4;
  info.SetSizeFactor1(0x11223344);
  info.SetSizeFactor2(0xA1B2C3D4);
  const auto* raw = reinterpret_cast<const uint8_t*>(&info);
  EXPECT_EQ(raw[5994], 3);
  EXPECT_EQ(raw[5998], 4);
  uint32_t f1, f2;
  std::memcpy(&f1, raw + 6006, 4);
  std::memcpy(&f2, raw + 6010, 4);
  EXPECT_EQ(f1, 0x11223344u);
  EXPECT_EQ(f2, 0xA1B2C3D4u);
  EXPECT_EQ(info.SizeFactor1(), 0x11223344u);
  EXPECT_EQ(info.SizeFactor2(), 0xA1B2C3D4u);
}

TEST(EcuServer, FindsTheRowsOfItsIds) {
  TestTdb tdb({{42, 3, "SwIdTxt", 1, 2, 1, 8}, {42, 3, "CalIdTxt", 2, 0, 16, 1}, {42, 4, "SwIdTxt", 7, 7, 3, 3}});
  CECUServer server;
  EXPECT_NE(server.OpenDefaultTDBOffline(42, 3), 0);
  ParameterInfo info = Filled(0xEE);
  ASSERT_NE(server.GetParameterInfo("SwIdTxt", &info), 0);
  EXPECT_EQ(info.nTable, 1);
  EXPECT_EQ(info.nItem, 2);
  EXPECT_EQ(info.SizeFactor1(), 1u);
  EXPECT_EQ(info.SizeFactor2(), 8u);
  ASSERT_NE(server.GetParameterInfo("CalIdTxt", &info), 0);
  EXPECT_EQ(info.nTable, 2);
  EXPECT_EQ(info.SizeFactor1() * info.SizeFactor2(), 16u);

  // Unknown names leave the record as it was; names are case-sensitive.
  ParameterInfo untouched = Filled(0xEE);
  EXPECT_EQ(server.GetParameterInfo("swidtxt", &untouched), 0);
  EXPECT_EQ(server.GetParameterInfo("Nothing", &untouched), 0);
  EXPECT_EQ(untouched.nTable, 0xEE);
  EXPECT_EQ(server.GetParameterInfo(nullptr, &untouched), 0);
  EXPECT_EQ(server.GetParameterInfo("SwIdTxt", nullptr), 0);

  // Opening again for other ids selects their rows.
  EXPECT_NE(server.OpenDefaultTDBOffline(42, 4), 0);
  ASSERT_NE(server.GetParameterInfo("SwIdTxt", &info), 0);
  EXPECT_EQ(info.nTable, 7);
  EXPECT_EQ(server.GetParameterInfo("CalIdTxt", &info), 0);
}

TEST(EcuServer, UnknownIdsAndUnopenedServerKnowNothing) {
  TestTdb tdb;
  ParameterInfo info = Filled(0);
  CECUServer unopened;
  EXPECT_EQ(unopened.GetParameterInfo("SwIdTxt", &info), 0);
  CECUServer server;
  EXPECT_EQ(server.OpenDefaultTDBOffline(1, 1), 0);
  EXPECT_EQ(server.GetParameterInfo("SwIdTxt", &info), 0);
}

TEST(EcuServer, RowsThatDoNotFitTheRecordAreNotFound) {
  TestTdb tdb({{1, 1, "TableTooLarge", 256, 0, 1, 1},
               {1, 1, "NegativeItem", 0, -1, 1, 1},
               {1, 1, "FactorTooLarge", 0, 0, int64_t{1} << 32, 1},
               {1, 1, "LargestFactors", 255, 255, 0xFFFFFFFF, 0xFFFFFFFF}});
  CECUServer server;
  server.OpenDefaultTDBOffline(1, 1);
  ParameterInfo info = Filled(0);
  EXPECT_EQ(server.GetParameterInfo("TableTooLarge", &info), 0);
  EXPECT_EQ(server.GetParameterInfo("NegativeItem", &info), 0);
  EXPECT_EQ(server.GetParameterInfo("FactorTooLarge", &info), 0);
  ASSERT_NE(server.GetParameterInfo("LargestFactors", &info), 0);
  EXPECT_EQ(info.SizeFactor2(), 0xFFFFFFFFu);
}

class BadDatabase : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path.c_str()); }
  void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  void ExpectNothingFound() {
    ScopedTdbPath scope(path);
    CECUServer server;
    EXPECT_EQ(server.OpenDefaultTDBOffline(6, 9), 0);
    ParameterInfo info = Filled(0);
    EXPECT_EQ(server.GetParameterInfo("SwIdTxt", &info), 0);
  }
  std::string path =
      ::testing::TempDir() + "tessary-bad-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".tdb";
};

TEST_F(BadDatabase, MissingFileIsNotCreated) {
  ExpectNothingFound();
  std::ifstream in(path);
  EXPECT_FALSE(in.good());
}

TEST_F(BadDatabase, RandomBytes) {
  std::mt19937 rng(7);
  std::string bytes(8192, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  Write(bytes);
  ExpectNothingFound();
}

TEST_F(BadDatabase, DatabaseHeaderOverRandomPages) {
  std::mt19937 rng(11);
  std::string bytes(16384, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  const char header[] = "SQLite format 3";
  std::memcpy(bytes.data(), header, sizeof header);
  bytes[16] = 0x10;  // page size 4096
  bytes[17] = 0x00;
  Write(bytes);
  ExpectNothingFound();
}

TEST_F(BadDatabase, EmptyFileAndOtherSchema) {
  Write("");
  ExpectNothingFound();
}

// ---------------------------------------------------------------- what makes a file a controller database

class DatabaseFile : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(path); }
  std::string path = ::testing::TempDir() + "tessary-schema-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".tdb";
};

TEST_F(DatabaseFile, AFileThatCannotServeIsRefusedSayingWhy) {
  for (const UnusableTdb& u : UnusableTdbs()) {
    SCOPED_TRACE(u.name);
    std::filesystem::remove_all(path);
    u.make(path);
    const TdbStatus status = CECUServer::Check(path);
    EXPECT_EQ(static_cast<int>(u.problem), static_cast<int>(status.problem));
    EXPECT_EQ(path, status.path);
    if (!u.detail.empty()) {
      EXPECT_EQ(u.detail, status.detail);
    }
    if (u.problem == TdbProblem::notRegularFile) {
      EXPECT_FALSE(S_ISREG(status.fileMode));
    }

    // The lookups meet the same: nothing found, and the status says why.
    ScopedTdbPath scope(path);
    CECUServer server;
    EXPECT_EQ(0, server.OpenDefaultTDBOffline(42, 3));
    EXPECT_EQ(static_cast<int>(u.problem), static_cast<int>(server.GetStatus().problem));
    ParameterInfo info = Filled(0xEE);
    EXPECT_EQ(0, server.GetParameterInfo("CalIdTxt", &info));
    EXPECT_EQ(0xEE, info.nTable);
  }
}

TEST_F(DatabaseFile, AnyKeyThatKeepsOneRowPerIdsAndNameWillDo) {
  const std::string columns =
      "project_id INTEGER, table0_rev INTEGER, name TEXT, table_no INTEGER, item_no INTEGER, size_factor1 INTEGER, "
      "size_factor2 INTEGER, remark TEXT";
  const struct {
    const char* name;
    std::string schema;
  } cases[] = {
      {"a unique index over the three",
       "CREATE TABLE parameter (" + columns + "); CREATE UNIQUE INDEX k ON parameter (name, table0_rev, project_id);"},
      {"a unique constraint over two of them", "CREATE TABLE parameter (" + columns + ", UNIQUE (project_id, name));"},
      {"column names in capitals",
       "CREATE TABLE Parameter (PROJECT_ID INTEGER, Table0_Rev INTEGER, NAME TEXT, "
       "TABLE_NO INTEGER, ITEM_NO INTEGER, SIZE_FACTOR1 INTEGER, SIZE_FACTOR2 INTEGER, "
       "PRIMARY KEY (PROJECT_ID, TABLE0_REV, NAME));"},
      {"the ids as the row id",
       "CREATE TABLE parameter (project_id INTEGER PRIMARY KEY, table0_rev INTEGER, name TEXT, "
       "table_no INTEGER, item_no INTEGER, size_factor1 INTEGER, size_factor2 INTEGER);"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteSqlTdb(path, c.schema +
                          "INSERT INTO parameter (project_id, table0_rev, name, table_no, item_no, "
                          "size_factor1, size_factor2) VALUES (42, 3, 'CalIdTxt', 2, 7, 16, 1);");
    EXPECT_EQ(static_cast<int>(TdbProblem::none), static_cast<int>(CECUServer::Check(path).problem));
    ScopedTdbPath scope(path);
    CECUServer server;
    EXPECT_NE(0, server.OpenDefaultTDBOffline(42, 3));
    ParameterInfo info = Filled(0);
    ASSERT_NE(0, server.GetParameterInfo("CalIdTxt", &info));
    EXPECT_EQ(7, info.nItem);
  }
}

TEST_F(DatabaseFile, AFileChangedSinceItWasFoundSoundIsLookedAtAgain) {
  WriteTestTdb(path, testimg::StandardTestRows());
  EXPECT_EQ(static_cast<int>(TdbProblem::none), static_cast<int>(CECUServer::Check(path).problem));
  // Changed in place: the same file, the table gone and a view in its stead.
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  ExecSql(db, "ALTER TABLE parameter RENAME TO rows; CREATE VIEW parameter AS SELECT * FROM rows;");
  sqlite3_close(db);
  EXPECT_EQ(static_cast<int>(TdbProblem::noParameterTable), static_cast<int>(CECUServer::Check(path).problem));
  ScopedTdbPath scope(path);
  CECUServer server;
  EXPECT_EQ(0, server.OpenDefaultTDBOffline(42, 3));
}

TEST_F(DatabaseFile, NamesMatchCaseSensitivelyWhateverTheColumnSays) {
  WriteSqlTdb(path,
              "CREATE TABLE parameter (project_id INTEGER, table0_rev INTEGER, name TEXT COLLATE NOCASE, "
              "table_no INTEGER, item_no INTEGER, size_factor1 INTEGER, size_factor2 INTEGER, "
              "PRIMARY KEY (project_id, table0_rev, name));"
              "INSERT INTO parameter VALUES (42, 3, 'calidtxt', 1, 2, 1, 8);");
  ScopedTdbPath scope(path);
  CECUServer server;
  EXPECT_NE(0, server.OpenDefaultTDBOffline(42, 3));
  ParameterInfo info = Filled(0);
  EXPECT_EQ(0, server.GetParameterInfo("CalIdTxt", &info));
  EXPECT_EQ(0, server.GetParameterInfo("CALIDTXT", &info));
  EXPECT_NE(0, server.GetParameterInfo("calidtxt", &info));
}

TEST_F(DatabaseFile, TheFileIsOnlyRead) {
  WriteTestTdb(path, testimg::StandardTestRows());
  const std::string before = ReadFile(path);
  const auto modified = std::filesystem::last_write_time(path);
  {
    ScopedTdbPath scope(path);
    CECUServer server;
    EXPECT_NE(0, server.OpenDefaultTDBOffline(42, 3));
    ParameterInfo info = Filled(0);
    EXPECT_NE(0, server.GetParameterInfo("CalIdTxt", &info));
  }
  EXPECT_EQ(before, ReadFile(path));
  EXPECT_EQ(modified, std::filesystem::last_write_time(path));
  for (const char* side : {"-journal", "-wal", "-shm"}) EXPECT_FALSE(std::filesystem::exists(path + side)) << side;
}

TEST(DefaultDatabasePath, EnvironmentVariableFirst) {
  {
    ScopedTdbPath scope("/some/where/else.tdb");
    EXPECT_EQ(DefaultTDBPath(), "/some/where/else.tdb");
  }
  // Empty counts as not set: the file then comes from the data folder or beside the program.
  ScopedTdbPath empty("");
  const std::string path = DefaultTDBPath();
  EXPECT_NE(path, "");
  EXPECT_EQ(path.substr(path.rfind('/') + 1), kTdbFileName);
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
}

// The database the build makes, found as a user's program finds it.
TEST(DefaultDatabase, HoldsTheDefaultIds) {
  ScopedTdbPath scope(TESSARY_DEFAULT_TDB_BUILT);
  CECUServer server;
  EXPECT_NE(server.OpenDefaultTDBOffline(6, 9), 0);
  ParameterInfo info = Filled(0);
  EXPECT_NE(server.GetParameterInfo("SwIdTxt", &info), 0);
  EXPECT_NE(server.GetParameterInfo("CalIdTxt", &info), 0);
}

}  // namespace
