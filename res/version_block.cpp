#include "res/app_resources.h"

namespace res {
namespace {

const VersionString kStrings040904B0[] = {
    {"CompanyName", "Brevanta"},
    {"FileDescription", "Software and Calibration Update Utility Author"},
    {"FileVersion", "8.13.7.120"},
    {"InternalName", "TessaryAuthor"},
    {"LegalCopyright", "Copyright (C) 2010 "},
    {"OriginalFilename", "tessary-author"},
    {"ProductName", "Brevanta Tessary"},
    {"ProductVersion", "2010aBETA5"},
    {"Comments", "Brevanta Controller Upgrade Author"},
};

const VersionStringTable kTables[] = {
    {"040904B0", kStrings040904B0, sizeof kStrings040904B0 / sizeof kStrings040904B0[0]},
};

}  // namespace

// File and product version, an application (type 1) for 32-bit Windows (0x40004), no flags.
const VersionBlock g_VersionBlock = {
    {8, 13, 7, 120}, {2010, 0, 0, 0}, 0, 0x40004, 1, kTables, sizeof kTables / sizeof kTables[0], {0x0409, 0x04B0},
};

}  // namespace res
