// The form's roads for a programming file, end to end: the fuzzed bytes as a file, loaded as the
// upgrade ("Browse") and as a target (Add), each read, decoded or parsed, and looked up against a
// small test database; then the same text once more in its protected form. Every question is
// answered No in one pass and Yes in another.
//
// A refusal leaves what the road was given as it was. A success gives IDs no longer than the
// database's lengths, and for the upgrade the file's size and its text (its own when protected,
// the codec's protected form of it when plain). Both roads find the same IDs in a file they both
// take. Every message names the file on its first line, and none is shown under the wait cursor.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "authoring/program_load.h"
#include "document/update_document_data.h"
#include "fuzz_check.h"
#include "prog/prog_base.h"
#include "protect/codec.h"
#include "support/codec_text.h"
#include "support/test_tdb.h"

namespace {

const std::string kUntouched = "untouched";
const std::string kTakenCalibrationID = "TS100-CAL-0017A1";  // the plain sample's: a duplicate

// The standard rows, the samples' rows, and lengths at the edges: a product that wraps to 0 at
// 32 bits, the longest item, an empty text.
const std::vector<testimg::TdbRow>& Rows() {
  static const std::vector<testimg::TdbRow> rows = [] {
    std::vector<testimg::TdbRow> r = testimg::StandardTestRows();
    r.insert(r.end(), {
                          {17, 1, "SwIdTxt", 1, 0, 12, 1},
                          {17, 1, "CalIdTxt", 2, 0, 16, 1},
                          {17, 2, "SwIdTxt", 1, 2, 4, 3},
                          {17, 2, "CalIdTxt", 2, 1, 8, 2},
                          {1, 1, "SwIdTxt", 0, 2, 4, 1},
                          {1, 1, "CalIdTxt", 0, 3, 65536, 65536},
                          {3, 3, "SwIdTxt", 0, 0, 0, 0},
                          {3, 3, "CalIdTxt", 0, 1, 1, 1},
                      });
    return r;
  }();
  return rows;
}

const TestTdb& Database() {
  static const TestTdb db(Rows());
  return db;
}

// The longest text the database allows for the parameter under any ids.
uint64_t LongestText(const std::string& name) {
  uint64_t longest = 0;
  for (const testimg::TdbRow& r : Rows())
    if (r.name == name)
      longest = std::max<uint64_t>(
          longest, static_cast<uint32_t>(static_cast<uint32_t>(r.sizeFactor1) * static_cast<uint32_t>(r.sizeFactor2)));
  return std::min<uint64_t>(longest, kTableMaxItemBytes);
}

bool IsTextOfAtMost(const std::string& text, uint64_t length) {
  return text.find('\0') == std::string::npos && text.size() <= length;
}

// Message boxes recorded and answered: questions with the pass's answer, the rest with OK.
class Answers : public IUiServices {
 public:
  explicit Answers(int answer) : m_answer(answer) { SetUiServices(this); }
  ~Answers() override { SetUiServices(nullptr); }
  Answers(const Answers&) = delete;
  Answers& operator=(const Answers&) = delete;

  int MessageBox(const std::string& text, unsigned style) override {
    texts.push_back(text);
    FUZZ_CHECK(m_depth == 0);
    if ((style & MB_TYPEMASK) != MB_YESNO) return IDOK;
    FUZZ_CHECK(style == (MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    ++questions;
    return m_answer;
  }
  void BeginWaitCursor() override { ++m_depth; }
  void EndWaitCursor() override { --m_depth; }

  bool Balanced() const { return m_depth == 0; }
  bool AllName(const std::string& path) const {
    return std::all_of(texts.begin(), texts.end(),
                       [&](const std::string& t) { return t.compare(0, path.size() + 1, path + "\n") == 0; });
  }

  std::vector<std::string> texts;
  int questions = 0;

 private:
  int m_answer;
  int m_depth = 0;
};

// One scratch file for the process, removed at exit.
class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    m_path = std::string(dir && *dir ? dir : "/tmp") + "/tessary-fuzz-XXXXXX.sr";
    const int fd = ::mkstemps(m_path.data(), 3);
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
  }
  ~ScratchFile() { std::remove(m_path.c_str()); }
  const std::string& path() const { return m_path; }

  void Write(const std::string& bytes) {
    std::FILE* f = std::fopen(m_path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(std::fclose(f) == 0);
  }

 private:
  std::string m_path;
};

bool Decodes(const std::string& bytes) {
  uint8_t* out = nullptr;
  uint32_t length = 0;
  if (DecodeProtectedBuffer(0, bytes.data(), static_cast<uint32_t>(bytes.size()), &out, &length) < 0) return false;
  FreeBuffer(out);
  return true;
}

void CheckIds(const ProgramIds& ids) {
  FUZZ_CHECK(IsTextOfAtMost(ids.softwareID, LongestText("SwIdTxt")));
  FUZZ_CHECK(IsTextOfAtMost(ids.calibrationID, LongestText("CalIdTxt")));
}

void CheckFile(const std::string& path, const std::string& bytes) {
  const bool isProtected = Decodes(bytes);
  for (const int answer : {IDNO, IDYES}) {
    // The upgrade.
    UpgradeProgram upgrade;
    upgrade.ids = {kUntouched, kUntouched};
    upgrade.size = 77;
    upgrade.programData = kUntouched;
    bool upgradeTaken = false;
    {
      Answers ui(answer);
      upgradeTaken = LoadUpgradeProgram(path, upgrade);
      FUZZ_CHECK(ui.Balanced());
      FUZZ_CHECK(ui.AllName(path));
      FUZZ_CHECK(ui.questions <= 1);
      if (answer == IDNO && ui.questions == 1) FUZZ_CHECK(!upgradeTaken);
    }
    if (!upgradeTaken) {
      FUZZ_CHECK(upgrade.ids.softwareID == kUntouched && upgrade.ids.calibrationID == kUntouched);
      FUZZ_CHECK(upgrade.size == 77 && upgrade.programData == kUntouched);
    } else {
      CheckIds(upgrade.ids);
      FUZZ_CHECK(upgrade.size == bytes.size());
      if (isProtected)
        FUZZ_CHECK(upgrade.programData == std::string(bytes.c_str()));
      else
        FUZZ_CHECK(UnprotectText(upgrade.programData) == bytes || upgrade.programData == std::string(bytes.c_str()));
    }

    // The same file as a target, beside one that is already there.
    std::list<std::unique_ptr<CTargetObj>> targets;
    targets.push_back(std::make_unique<CTargetObj>(kTakenCalibrationID, "SW"));
    std::unique_ptr<CTargetObj> target;
    {
      Answers ui(answer);
      target = LoadTargetFromFile(path, targets);
      FUZZ_CHECK(ui.Balanced());
      FUZZ_CHECK(ui.AllName(path));
      FUZZ_CHECK(ui.questions <= 1);
      FUZZ_CHECK(isProtected || ui.questions == 0);  // a plain text that does not parse is refused
      if (answer == IDNO && ui.questions == 1) FUZZ_CHECK(target == nullptr);
    }
    FUZZ_CHECK(targets.size() == 1 && targets.front()->m_strCalibrationID == kTakenCalibrationID);
    if (!target) continue;
    CheckIds({target->m_strSoftwareID, target->m_strCalibrationID});
    FUZZ_CHECK(target->m_strCalibrationID != kTakenCalibrationID);
    if (upgradeTaken) {
      FUZZ_CHECK(target->m_strSoftwareID == upgrade.ids.softwareID);
      FUZZ_CHECK(target->m_strCalibrationID == upgrade.ids.calibrationID);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Database();
  static ScratchFile file;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  file.Write(bytes);
  CheckFile(file.path(), bytes);
  // The text again as a protected file, so that the decoded road meets the fuzzed text too.
  if (!Decodes(bytes)) {
    const std::string protectedText = ProtectText(bytes);
    if (!protectedText.empty()) {
      file.Write(protectedText);
      CheckFile(file.path(), protectedText);
    }
  }
  return 0;
}
