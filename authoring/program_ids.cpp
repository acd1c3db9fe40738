#include "authoring/program_ids.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ecuserver/ecu_server.h"
#include "prog/prog_base.h"
#include "prog/prog_io.h"

void ReadDatabaseIds(CProgBase& image, uint8_t& projectId, uint8_t& table0Rev) {
  if (image.ReadTableItem(0, 0, &projectId, 0, 1) != TABLE_OK) projectId = 6;
  if (image.ReadTableItem(0, 1, &table0Rev, 0, 1) != TABLE_OK) table0Rev = 9;
}

namespace {

IdLookup DatabaseFailure(const TdbStatus& status, IdLookup otherwise, TdbStatus* database) {
  if (status.problem == TdbProblem::none) return otherwise;
  if (database) *database = status;
  return IdLookup::databaseUnusable;
}

}  // namespace

IdLookup ReadProgramIds(CProgBase& image, ProgramIds& ids, TdbStatus* database) {
  std::string softwareID;
  // First: it fills the table directories that every later item read needs. Its server is its
  // own, so whether the database was at fault is asked of the file again.
  if (!image.ReadSoftwareIdText(softwareID, 1))
    return DatabaseFailure(CECUServer::Check(DefaultTDBPath()), IdLookup::noSoftwareId, database);

  uint8_t projectId = 6, table0Rev = 9;
  ReadDatabaseIds(image, projectId, table0Rev);
  CECUServer server;
  server.OpenDefaultTDBOffline(projectId, table0Rev);
  ParameterInfo info;
  if (!server.GetParameterInfo("CalIdTxt", &info))
    return DatabaseFailure(server.GetStatus(), IdLookup::noCalIdParameter, database);

  // The product wraps at 32 bits, as the database's 32-bit factors do. Lengths of 2^31 and more
  // are outside what a text here can be.
  const uint32_t n = info.SizeFactor2() * info.SizeFactor1();
  if (n >= (uint32_t{1} << 31)) return IdLookup::calIdUnreadable;
  // No item is longer than kTableMaxItemBytes, so a larger room changes nothing but the
  // allocation: bytes past the item stay zero either way.
  const uint32_t room = std::min(n, kTableMaxItemBytes);
  std::vector<uint8_t> buffer(room, 0);
  if (image.ReadTableItem(info.nTable, info.nItem, buffer.data(), 0, room) != TABLE_OK)
    return IdLookup::calIdUnreadable;
  const auto end = std::find(buffer.begin(), buffer.end(), uint8_t{0});

  ids.softwareID = std::move(softwareID);
  ids.calibrationID.assign(buffer.begin(), end);
  return IdLookup::ok;
}
