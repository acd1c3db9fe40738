// The members of an update document and its targets, without any toolkit: the file format reads
// and writes these, the document class adds the toolkit's document handling on top.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

// One calibration that the software upgrade may replace.
class CTargetObj {
 public:
  CTargetObj() = default;
  CTargetObj(std::string calibrationID, std::string softwareID)
      : m_strCalibrationID(std::move(calibrationID)), m_strSoftwareID(std::move(softwareID)) {}
  virtual ~CTargetObj() = default;

  std::string m_strCalibrationID;
  std::string m_strSoftwareID;
};

class CUpdateDocumentData {
 public:
  CUpdateDocumentData() = default;
  virtual ~CUpdateDocumentData() = default;
  CUpdateDocumentData(CUpdateDocumentData&&) = default;
  CUpdateDocumentData& operator=(CUpdateDocumentData&&) = default;

  // Back to an empty document: no texts, no targets, no image, no actions.
  void ClearContents() { *this = CUpdateDocumentData(); }

  // Takes ownership of an image of size bytes (nullptr and 0 for none); the old one is released.
  void SetImage(std::unique_ptr<uint8_t[]> data, int32_t size) {
    m_pImageData = std::move(data);
    m_nImageSize = m_pImageData ? size : 0;
  }

  std::string m_strCalibrationID;
  std::string m_strSoftwareID;
  uint32_t m_dwSize = 0;
  std::string m_strProgramData;
  std::string m_strComments;
  // Owned; in the order they were added.
  std::list<std::unique_ptr<CTargetObj>> m_targets;
  int32_t m_nImageSize = 0;
  std::unique_ptr<uint8_t[]> m_pImageData;  // null for no image
  bool m_bClearRuntime = false;
  bool m_bClearFaultHistory = false;
  bool m_bResetBreakin = false;
};
