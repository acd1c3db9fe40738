// The two IDs of a loaded programming image, read the way both the upgrade's "Browse" and a
// target's Add read them.
#pragma once

#include <cstdint>
#include <string>

#include "ecuserver/ecu_server.h"

class CProgBase;

struct ProgramIds {
  std::string softwareID;
  std::string calibrationID;
};

enum class IdLookup {
  ok,
  noSoftwareId,      // the software-ID lookup found nothing
  noCalIdParameter,  // the database does not know "CalIdTxt" for the image's ids
  calIdUnreadable,   // the calibration-ID item cannot be read, or is longer than its room
  databaseUnusable,  // a lookup found nothing because the database itself cannot be used
};

// The database ids of the image: items 0 and 1 of parameter table 0, one byte each, 6 and 9 when
// they cannot be read. Needs the table directories that the software-ID lookup fills.
void ReadDatabaseIds(CProgBase& image, uint8_t& projectId, uint8_t& table0Rev);

// The software ID (default database ids allowed), then the calibration ID through a server of
// its own: the text of "CalIdTxt" up to its first zero byte. When a lookup finds nothing because
// the database cannot be used, the result says so and database (when given) says why.
IdLookup ReadProgramIds(CProgBase& image, ProgramIds& ids, TdbStatus* database = nullptr);
