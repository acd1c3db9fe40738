// The About box's reading of a version block, key by key, through a small interface so that any
// block (the program's own, or one with keys missing) can be read the same way.
#pragma once

#include <string>
#include <utility>
#include <vector>

class IVersionBlock {
 public:
  virtual ~IVersionBlock() = default;
  // Looks up a value path such as "\StringFileInfo\040904B0\FileVersion". True when the query
  // succeeded; value and length are then the value's text and its length in characters.
  virtual bool QueryValue(const std::string& path, const char** value, unsigned* length) const = 0;
};

// The program's own block, compiled in.
const IVersionBlock& GetProgramVersionBlock();

// The texts of the About box's version lines, by control id: the template's texts, replaced by
// what block holds (nullptr: no block at all).
std::vector<std::pair<int, std::string>> ReadAboutTexts(const IVersionBlock* block);
