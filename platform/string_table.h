// The string table: resource ids to texts (the table itself lives in res/).
#pragma once

#include <string>

// The text of id, or an empty string when the table has none.
std::string LoadResString(unsigned id);
