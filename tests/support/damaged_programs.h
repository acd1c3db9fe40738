// Copies of the plain sample that do not read whole, yet still hold both IDs: the parse stops after
// the parameter tables, so the lookups would find them.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_folder.h"

struct DamagedProgram {
  const char* name;
  std::string text;       // the damaged plain text
  std::string parseText;  // what the parse says of it
};

inline std::vector<DamagedProgram> DamagedSamples(const std::string& plainSample) {
  const std::string sample = ReadFile(plainSample);
  const std::string s7 = "S70500000000FA\n";
  const size_t at = sample.rfind(s7);
  if (at == std::string::npos || at + s7.size() != sample.size())
    throw std::runtime_error("the plain sample does not end with its S7 record");
  const std::string body = sample.substr(0, at);
  return {
      {"bad checksum on the S7 record", body + "S70500000000FB\n",
       "The checksum of the record in line 48 does not match its bytes."},
      {"unreadable hex in a data record after the tables", body + "S30900020000112233ZZ\n" + s7,
       "The S2 or S3 record in line 48 cannot be read."},
  };
}
