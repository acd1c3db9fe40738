// make_samples DIR: writes the two sample programming files of samples/ into DIR, with their
// identifiers where the default controller database puts them. Run it again after changing the
// samples' rows in ecuserver/sql/default_rows.sql.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "protect/codec.h"
#include "support/image_builder.h"

namespace {

std::vector<testimg::TdbRow> DefaultRows(int projectId, int table0Rev) {
  std::vector<testimg::TdbRow> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(TESSARY_DEFAULT_TDB_BUILT, &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT name, table_no, item_no, size_factor1, size_factor2 FROM parameter "
                       "WHERE project_id = ? AND table0_rev = ?",
                       -1, &q, nullptr);
    sqlite3_bind_int(q, 1, projectId);
    sqlite3_bind_int(q, 2, table0Rev);
    while (sqlite3_step(q) == SQLITE_ROW)
      rows.push_back({projectId, table0Rev, reinterpret_cast<const char*>(sqlite3_column_text(q, 0)),
                      sqlite3_column_int64(q, 1), sqlite3_column_int64(q, 2), sqlite3_column_int64(q, 3),
                      sqlite3_column_int64(q, 4)});
    sqlite3_finalize(q);
  }
  sqlite3_close(db);
  return rows;
}

// Some program bytes in front of the tables, so that the sample looks like a program.
void AddCode(testimg::ImageBuilder& b, uint32_t start, size_t length, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> code(length);
  for (uint8_t& c : code) c = static_cast<uint8_t>(rng());
  b.Raw(start, code);
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  testimg::Layout plain;
  plain.project = "TS100";
  plain.wordSize = 4;
  plain.tableLayout = 0;
  plain.endian = 0;
  plain.tableAddress = 0x00010000;
  testimg::ImageBuilder a(plain);
  AddCode(a, 0x00000000, 1024, 1);
  a.SetIdentity(17, 1, "TS100-SW-0A1", "TS100-CAL-0017A1", DefaultRows(17, 1));

  testimg::Layout prot;
  prot.project = "TS200";
  prot.wordSize = 2;
  prot.tableLayout = 1;
  prot.endian = 1;
  prot.tableAddress = 0x8000;
  testimg::ImageBuilder b(prot);
  AddCode(b, 0x4000, 1024, 2);
  b.SetIdentity(17, 2, "TS200-SW-0B2", "TS200-CAL-0017B2", DefaultRows(17, 2));

  if (!WriteFile(dir + "/sample-plain.sr", a.Text())) return 1;
  const std::string text = b.Text();
  uint8_t* out = nullptr;
  uint32_t length = 0;
  if (EncodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) < 0) return 1;
  const bool ok = WriteFile(dir + "/sample-protected.srz", std::string(reinterpret_cast<char*>(out), length));
  FreeBuffer(out);
  return ok ? 0 : 1;
}
