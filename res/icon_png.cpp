// Writes the main window's compiled-in icon as a PNG file of a given size, for the desktop's icon
// theme: the installed icon is drawn from the same XPM text as the window's own.
//
//   tessary_icon_png SIZE OUT.png
//
// SIZE must be a multiple of 16; the 32-pixel drawing is scaled up where it fits, else the
// 16-pixel one, pixel by pixel (the drawing is made of flat blocks). The file is written under a
// new name and renamed, so that a failed run leaves no half-written icon.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "res/app_ids.h"
#include "res/app_resources.h"

namespace {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;  // row by row
};

bool Fail(const std::string& message) {
  std::fprintf(stderr, "tessary_icon_png: %s\n", message.c_str());
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The XPM forms the resource tables use: "c None" and "c #RRGGBB".
bool ParseColour(const std::string& value, Rgba& colour) {
  if (value == "None") {
    colour = Rgba{};
    return true;
  }
  if (value.size() != 7 || value[0] != '#') return false;
  uint8_t channel[3];
  for (int i = 0; i < 3; ++i) {
    const int hi = HexDigit(value[1 + 2 * i]), lo = HexDigit(value[2 + 2 * i]);
    if (hi < 0 || lo < 0) return false;
    channel[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  colour = Rgba{channel[0], channel[1], channel[2], 255};
  return true;
}

bool ParseXpm(const char* const* xpm, Picture& picture) {
  int colours = 0, perPixel = 0;
  std::istringstream header(xpm[0]);
  if (!(header >> picture.width >> picture.height >> colours >> perPixel) || picture.width <= 0 ||
      picture.height <= 0 || colours <= 0 || perPixel <= 0)
    return Fail("the icon's XPM header cannot be read");
  std::map<std::string, Rgba> table;
  for (int i = 0; i < colours; ++i) {
    const std::string line = xpm[1 + i];
    std::istringstream rest(line.size() > static_cast<size_t>(perPixel) ? line.substr(static_cast<size_t>(perPixel))
                                                                        : std::string());
    std::string kind, value;
    Rgba colour;
    if (!(rest >> kind >> value) || kind != "c" || !ParseColour(value, colour))
      return Fail("the icon's XPM colour line \"" + line + "\" cannot be read");
    table[line.substr(0, static_cast<size_t>(perPixel))] = colour;
  }
  picture.pixels.clear();
  for (int y = 0; y < picture.height; ++y) {
    const std::string row = xpm[1 + colours + y];
    if (row.size() != static_cast<size_t>(picture.width * perPixel)) return Fail("an XPM row has the wrong length");
    for (int x = 0; x < picture.width; ++x) {
      const auto found = table.find(row.substr(static_cast<size_t>(x * perPixel), static_cast<size_t>(perPixel)));
      if (found == table.end()) return Fail("an XPM row uses a colour that the table lacks");
      picture.pixels.push_back(found->second);
    }
  }
  return true;
}

void PutBig32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutBig32(out, static_cast<uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// An 8-bit RGBA PNG of the picture scaled by factor, every row unfiltered.
bool EncodePng(const Picture& picture, int factor, std::string& png) {
  const int width = picture.width * factor, height = picture.height * factor;
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + static_cast<size_t>(width) * 4));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter type: none
    for (int x = 0; x < width; ++x) {
      const Rgba& p = picture.pixels[static_cast<size_t>((y / factor) * picture.width + x / factor)];
      raw.push_back(static_cast<char>(p.r));
      raw.push_back(static_cast<char>(p.g));
      raw.push_back(static_cast<char>(p.b));
      raw.push_back(static_cast<char>(p.a));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
    return Fail("the pixels could not be compressed");
  packed.resize(packedSize);

  std::string header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter set, no interlace
  png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", std::string());
  return true;
}

bool WriteReplacing(const std::string& path, const std::string& bytes) {
  const std::string fresh = path + ".new";
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(fresh.c_str());
      return Fail("cannot write " + fresh);
    }
  }
  if (std::rename(fresh.c_str(), path.c_str()) != 0) {
    std::remove(fresh.c_str());
    return Fail("cannot rename " + fresh + " to " + path);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    Fail("usage: tessary_icon_png SIZE OUT.png");
    return 2;
  }
  char* end = nullptr;
  const long size = std::strtol(argv[1], &end, 10);
  if (*end != '\0' || size < 16 || size > 1024 || size % 16 != 0) {
    Fail(std::string("the size must be a multiple of 16 from 16 to 1024, not ") + argv[1]);
    return 2;
  }
  const res::IconResource* icon = res::FindIcon(IDR_MAINFRAME);
  if (!icon) {
    Fail("the main window's icon is not in the resource tables");
    return 1;
  }
  const bool from32 = size % 32 == 0;
  Picture picture;
  if (!ParseXpm(from32 ? icon->xpm32 : icon->xpm16, picture)) return 1;
  const int source = from32 ? 32 : 16;
  if (picture.width != source || picture.height != source) {
    Fail("the icon's drawing is not " + std::to_string(source) + " pixels square");
    return 1;
  }
  std::string png;
  if (!EncodePng(picture, static_cast<int>(size) / source, png) || !WriteReplacing(argv[2], png)) return 1;
  return 0;
}
