// An update document with something in every member, for the format's tests and its fuzz target.
#pragma once

#include <cstring>
#include <memory>

#include "document/update_document_data.h"

inline CUpdateDocumentData SampleUpdateDocument() {
  CUpdateDocumentData d;
  d.m_strCalibrationID = "CAL-0042";
  d.m_strSoftwareID = "SW 7.1";
  d.m_dwSize = 0xDEADBEEF;
  d.m_strProgramData = "A1B2C3";
  d.m_strComments = "Line one\r\nLine two";
  d.m_targets.push_back(std::make_unique<CTargetObj>("CAL-0001", "SW 1"));
  d.m_targets.push_back(std::make_unique<CTargetObj>("CAL-0002", "SW 2"));
  auto image = std::make_unique<uint8_t[]>(5);
  std::memcpy(image.get(), "GIF89", 5);
  d.SetImage(std::move(image), 5);
  d.m_bClearRuntime = true;
  d.m_bResetBreakin = true;
  return d;
}
