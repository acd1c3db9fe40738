// The frame icons as XPM text: 128 for the main window, 129 for document windows.
#include "res/app_ids.h"
#include "res/app_resources.h"

namespace res {
namespace {

// The pictures kept a row of pixels to a line.
// clang-format off
const char* const kIcon128_16[] = {
    "16 16 4 1",
    "  c None",
    "b c #1F5FBF",
    "d c #103070",
    "w c #FFFFFF",
    "                ",
    " dddddddddddddd ",
    " dbbbbbbbbbbbbd ",
    " dbbbbbbbbbbbbd ",
    " dbbwwwwwwwwbbd ",
    " dbbwwwwwwwwbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbwwbbbbbd ",
    " dbbbbbbbbbbbbd ",
    " dbbbbbbbbbbbbd ",
    " dddddddddddddd ",
    "                ",
};

const char* const kIcon128_32[] = {
    "32 32 4 1",
    "  c None",
    "b c #1F5FBF",
    "d c #103070",
    "w c #FFFFFF",
    "                                ",
    "                                ",
    "  dddddddddddddddddddddddddddd  ",
    "  dddddddddddddddddddddddddddd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbwwwwwwwwwwwwwwwwbbbbdd  ",
    "  ddbbbbwwwwwwwwwwwwwwwwbbbbdd  ",
    "  ddbbbbwwwwwwwwwwwwwwwwbbbbdd  ",
    "  ddbbbbwwwwwwwwwwwwwwwwbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbwwwwbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  ddbbbbbbbbbbbbbbbbbbbbbbbbdd  ",
    "  dddddddddddddddddddddddddddd  ",
    "  dddddddddddddddddddddddddddd  ",
    "                                ",
    "                                ",
};

const char* const kIcon129_16[] = {
    "16 16 4 1",
    "  c None",
    "b c #1F5FBF",
    "k c #404040",
    "w c #FFFFFF",
    "                ",
    "  kkkkkkkkk     ",
    "  kwwwwwwwkk    ",
    "  kwwwwwwwwkk   ",
    "  kwbbbbbbbbkk  ",
    "  kwbbbbbbbbwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwbbwwwwk  ",
    "  kwwwwwwwwwwk  ",
    "  kwwwwwwwwwwk  ",
    "  kkkkkkkkkkkk  ",
    "                ",
};

const char* const kIcon129_32[] = {
    "32 32 4 1",
    "  c None",
    "b c #1F5FBF",
    "k c #404040",
    "w c #FFFFFF",
    "                                ",
    "                                ",
    "    kkkkkkkkkkkkkkkkk           ",
    "    kkkkkkkkkkkkkkkkkk          ",
    "    kkwwwwwwwwwwwwwwkkk         ",
    "    kkwwwwwwwwwwwwwwwkkk        ",
    "    kkwwwwwwwwwwwwwwwwkkk       ",
    "    kkwwwwwwwwwwwwwwwwwkkk      ",
    "    kkwwbbbbbbbbbbbbbbbbkkk     ",
    "    kkwwbbbbbbbbbbbbbbbbwkkk    ",
    "    kkwwbbbbbbbbbbbbbbbbwwkk    ",
    "    kkwwbbbbbbbbbbbbbbbbwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwbbbbwwwwwwwwkk    ",
    "    kkwwwwwwwwwwwwwwwwwwwwkk    ",
    "    kkwwwwwwwwwwwwwwwwwwwwkk    ",
    "    kkwwwwwwwwwwwwwwwwwwwwkk    ",
    "    kkwwwwwwwwwwwwwwwwwwwwkk    ",
    "    kkkkkkkkkkkkkkkkkkkkkkkk    ",
    "    kkkkkkkkkkkkkkkkkkkkkkkk    ",
    "                                ",
    "                                ",
};

const IconResource kIcons[] = {
    {IDR_MAINFRAME, kIcon128_16, kIcon128_32},
    {IDR_TESSARYAUTHORTYPE, kIcon129_16, kIcon129_32},
};
// clang-format on

}  // namespace

const IconResource* FindIcon(unsigned id) {
  for (const IconResource& i : kIcons)
    if (i.id == id) return &i;
  return nullptr;
}

}  // namespace res
