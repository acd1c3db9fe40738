// Result codes of the programming-file image. Callers test for PROG_OK.
#pragma once

enum ProgResult : int {
  PROG_OK = 1001,
  PROG_E_DATA_LENGTH = 1002,
  PROG_E_CHECKSUM = 1003,
  PROG_E_HEX_DATA_RECORD = 1004,
  PROG_E_HEX_RECORD_BYTE = 1005,
  PROG_E_S1_RECORD = 1006,
  PROG_E_S2_S3_RECORD = 1007,
  PROG_E_S3_DATA_LENGTH = 1008,
  PROG_E_HEADER_READ = 1009,
  PROG_E_HEADER_ID = 1010,
  PROG_E_S5_RECORD = 1011,
  PROG_E_S7_RECORD = 1012,
  PROG_E_S9_RECORD = 1013,
  PROG_E_RECORD_TYPE = 1014,
  PROG_E_NO_DATA = 1015,
  // 1016 is not assigned.
  PROG_E_RECORD_COUNT = 1017,
};

// File formats, as DetectFileType reports them and m_nFormat holds them.
enum ProgFormat : int {
  PROG_FORMAT_UNKNOWN = 1,
  PROG_FORMAT_INTEL_HEX = 2,
  PROG_FORMAT_SRECORD = 3,
};

inline constexpr int PROG_MAX_RECORD_DATA = 64;
