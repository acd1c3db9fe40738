#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <crypto++/crc.h>
#include <crypto++/default.h>
#include <crypto++/filters.h>
#include <crypto++/gzip.h>
#include <crypto++/hex.h>

#include "protect/codec.h"
#include "protect/hex_text.h"

namespace {

namespace fs = std::filesystem;

// A codec output, released with FreeBuffer whatever the test does.
struct Output {
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { FreeBuffer(p); }
  std::string Text() const { return std::string(reinterpret_cast<const char*>(p), n); }
  uint8_t* p = nullptr;
  uint32_t n = 0;
};

uint32_t Len(const std::string& s) { return static_cast<uint32_t>(s.size()); }

std::string Encode(const std::string& plain) {
  Output out;
  EXPECT_EQ(EncodeProtectedBuffer(0, plain.data(), Len(plain), &out.p, &out.n), CODEC_OK);
  return out.Text();
}

CodecResult Decode(const std::string& text, std::string& plain) {
  Output out;
  const CodecResult r = DecodeProtectedBuffer(0, text.data(), Len(text), &out.p, &out.n);
  if (r == CODEC_OK) plain = out.Text();
  return r;
}

std::string ThePassphrase() {
  char sz[kCodecPassphraseBuffer];
  EXPECT_EQ(BuildCodecPassphrase(sz), 1);
  return sz;
}

// The library's own layers, built here independently of the codec.
std::string GzipLevel5(const std::string& plain) {
  std::string out;
  CryptoPP::StringSource(plain, true, new CryptoPP::Gzip(new CryptoPP::StringSink(out), 5, 15, true));
  return out;
}

std::string Seal(const std::string& bytes, const std::string& passphrase) {
  std::string out;
  CryptoPP::StringSource(bytes, true,
                         new CryptoPP::LegacyEncryptorWithMAC(passphrase.c_str(),
                                                              new CryptoPP::HexEncoder(new CryptoPP::StringSink(out))));
  return out;
}

std::string Unseal(const std::string& hex, const std::string& passphrase) {
  std::string out;
  CryptoPP::StringSource(hex, true,
                         new CryptoPP::HexDecoder(
                             new CryptoPP::LegacyDecryptorWithMAC(passphrase.c_str(), new CryptoPP::StringSink(out))));
  return out;
}

// S3 lines of 64 data bytes from a seeded generator, CR LF ended, with a header and an end.
std::string SRecordText(size_t lines, unsigned seed = 1) {
  static const char* digits = "0123456789ABCDEF";
  std::mt19937 rng(seed);
  std::string text = "S00600004844521B\r\n";
  for (size_t i = 0; i < lines; ++i) {
    uint8_t bytes[69] = {69};  // count (address, data, checksum), address, data
    const auto address = static_cast<uint32_t>(0x00100000 + 64 * i);
    for (int k = 0; k < 4; ++k) bytes[1 + k] = static_cast<uint8_t>(address >> (24 - 8 * k));
    for (int k = 5; k < 69; ++k) bytes[k] = static_cast<uint8_t>(i % 3 == 0 ? 0xFF : rng());
    unsigned sum = 0;
    text += "S3";
    for (uint8_t b : bytes) {
      sum += b;
      text += digits[b >> 4];
      text += digits[b & 15];
    }
    const auto ck = static_cast<uint8_t>(~sum);
    text += digits[ck >> 4];
    text += digits[ck & 15];
    text += "\r\n";
  }
  return text + "S70500100000EA\r\n";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessary-protect-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) fs::remove_all(m_path, ec);
  }
  fs::path operator/(const std::string& name) const { return m_path / name; }

 private:
  fs::path m_path;
};

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

std::string InsertLineBreaks(const std::string& text, size_t every, const std::string& lineEnd) {
  std::string out;
  for (size_t i = 0; i < text.size(); i += every) out += text.substr(i, every) + lineEnd;
  return out;
}

// ---------------------------------------------------------------------------------------------

TEST(CodecPassphrase, IsTwentyFourNonZeroCharactersAndTheSameEveryTime) {
  char sz[kCodecPassphraseBuffer];
  std::fill(std::begin(sz), std::end(sz), 'x');
  ASSERT_EQ(BuildCodecPassphrase(sz), 1);
  EXPECT_EQ(std::string(sz).size(), 24u);  // 24 characters, then the zero byte
  EXPECT_EQ(std::string(sz), ThePassphrase());
}

TEST(CodecRoundTrip, GivesBackExactlyTheSameBytes) {
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
  std::string random(100000, '\0');
  std::mt19937 rng(7);
  for (char& c : random) c = static_cast<char>(rng());
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"one byte", "S"},
      {"CR LF text", "S1130000000102030405060708090A0B0C0D0E0F74\r\nS9030000FC\r\n"},
      {"every byte value", allBytes},
      {"uncompressible", random},
      {"a few MB of S-records", SRecordText(30000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Output sealed;
    ASSERT_EQ(EncodeProtectedBuffer(0, c.text.data(), Len(c.text), &sealed.p, &sealed.n), CODEC_OK);
    ASSERT_NE(sealed.p, nullptr);
    EXPECT_EQ(sealed.n % 2, 0u);
    const std::string hex = sealed.Text();
    EXPECT_TRUE(std::all_of(hex.begin(), hex.end(), IsUpperHex));
    EXPECT_EQ(sealed.p[sealed.n], 0) << "zero byte after the text";

    Output plain;
    ASSERT_EQ(DecodeProtectedBuffer(0, sealed.p, sealed.n, &plain.p, &plain.n), CODEC_OK);
    ASSERT_NE(plain.p, nullptr) << "even an empty result is a block to release";
    EXPECT_EQ(plain.Text(), c.text);
  }
}

TEST(CodecRoundTrip, TwoEncodingsOfOneTextDifferAndBothDecode) {
  const std::string text = SRecordText(20);
  const std::string first = Encode(text);
  const std::string second = Encode(text);
  EXPECT_NE(first, second) << "each encryption is salted afresh";
  std::string a, b;
  ASSERT_EQ(Decode(first, a), CODEC_OK);
  ASSERT_EQ(Decode(second, b), CODEC_OK);
  EXPECT_EQ(a, text);
  EXPECT_EQ(b, text);
}

TEST(CodecDecode, AcceptsLowerCaseAndLineBreaks) {
  const std::string text = SRecordText(50);
  const std::string hex = Encode(text);
  std::string lower = hex;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    const char* name;
    std::string input;
  } cases[] = {
      {"lower case", lower},
      {"CR LF every 64", InsertLineBreaks(hex, 64, "\r\n")},
      {"LF every 64, lower case", InsertLineBreaks(lower, 64, "\n")},
      {"trailing line end", hex + "\r\n"},
      // Breaks inside the salt and key check, which are read ahead of the rest, at odd places.
      {"CR LF every 7", InsertLineBreaks(hex, 7, "\r\n")},
      {"a space after every digit, lower case", InsertLineBreaks(lower, 1, " ")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string plain;
    ASSERT_EQ(Decode(c.input, plain), CODEC_OK);
    EXPECT_EQ(plain, text);
  }
}

// The text is the gzip stream's; whatever was sealed after the stream's end is not part of it.
TEST(CodecDecode, IgnoresBytesAfterTheGzipStream) {
  const std::string text = SRecordText(10);
  std::string plain;
  ASSERT_EQ(Decode(Seal(GzipLevel5(text) + "trailing bytes", ThePassphrase()), plain), CODEC_OK);
  EXPECT_EQ(plain, text);
  // A second gzip member is not read either.
  ASSERT_EQ(Decode(Seal(GzipLevel5(text) + GzipLevel5("S9030000FC\n"), ThePassphrase()), plain), CODEC_OK);
  EXPECT_EQ(plain, text);
}

// Which gzip headers the decode takes: what docs/protected-file-format.md states.
TEST(CodecDecode, GzipHeaderFieldsAcceptedAndRefused) {
  const std::string text = SRecordText(3);
  const std::string gzip = GzipLevel5(text);  // a 10-byte header without flags, then the deflate data
  const std::string extra(
      "\x04\x00"
      "AB\x02\x00",
      6),
      name("a.sr\0", 5), comment("note\0", 5);
  const struct {
    const char* name;
    uint8_t method;
    uint8_t flags;
    std::string fields;  // after the fixed header, in the order of the format
    bool accepted;
  } cases[] = {
      {"text flag", 8, 0x01, "", true},
      {"extra field", 8, 0x04, extra, true},
      {"file name", 8, 0x08, name, true},
      {"comment", 8, 0x10, comment, true},
      {"extra field, file name and comment", 8, 0x1C, extra + name + comment, true},
      {"reserved flags 0x40 and 0x80", 8, 0xC0, "", true},
      {"header CRC", 8, 0x02, "", false},
      {"reserved flag 0x20", 8, 0x20, "", false},
      {"compression method 7", 7, 0x00, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string header = gzip.substr(0, 10);
    header[2] = static_cast<char>(c.method);
    header[3] = static_cast<char>(c.flags);
    header += c.fields;
    if (c.flags & 0x02) {  // the low 16 bits of the header's CRC-32
      CryptoPP::CRC32 crc;
      crc.Update(reinterpret_cast<const CryptoPP::byte*>(header.data()), header.size());
      CryptoPP::byte digest[4];
      crc.Final(digest);
      header.append(reinterpret_cast<const char*>(digest), 2);
    }
    std::string plain;
    const CodecResult r = Decode(Seal(header + gzip.substr(10), ThePassphrase()), plain);
    EXPECT_EQ(r, c.accepted ? CODEC_OK : CODEC_E_DECODE);
    if (c.accepted) {
      EXPECT_EQ(plain, text);
    }
  }
}

// The codec's own hex coding against the library's coders, which wrote and read every stored
// text so far: the same digits out, the same bytes back from any text, however it is cut.
TEST(CodecHex, WritesAndReadsAsTheLibraryDoes) {
  std::mt19937 rng(11);
  for (size_t length : {size_t{0}, size_t{1}, size_t{2047}, size_t{2048}, size_t{5000}}) {
    SCOPED_TRACE(length);
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    std::string expected;
    CryptoPP::StringSource(bytes, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(expected), true, 0, "", ""));
    std::string digits(2 * length, '?');
    HexEncodeBytes(reinterpret_cast<const uint8_t*>(bytes.data()), length, digits.data());
    EXPECT_EQ(expected, digits);
  }
  // Texts of digits in either case among line ends, spaces, other letters and bytes past ASCII;
  // some end on an unpaired digit.
  static const char kAlphabet[] = "0123456789ABCDEFabcdef0123456789\r\n GgxZ\x80\xFF\x00:";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::string text(rng() % 3000, '\0');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    if (round % 4 == 0) text = Encode(SRecordText(5, static_cast<unsigned>(round)));  // a protected text itself
    std::string expected;
    CryptoPP::StringSource(text, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(expected)));
    HexReader reader;
    std::string bytes;
    for (size_t at = 0; at < text.size();) {
      const size_t n = std::min<size_t>(1 + rng() % 200, text.size() - at);
      std::string chunk((n + 1) / 2, '\0');
      const size_t written =
          reader.Read(reinterpret_cast<const uint8_t*>(text.data() + at), n, reinterpret_cast<uint8_t*>(chunk.data()));
      ASSERT_LE(written, chunk.size());
      bytes += chunk.substr(0, written);
      at += n;
    }
    EXPECT_EQ(expected, bytes);
  }
}

// The entry point for a caller that keeps a string: the buffer entry point's text, with the
// library's own hex and sealing, and nothing changed on a failure.
TEST(CodecEncode, TheTextEntryWritesTheSameProtectedText) {
  const std::string passphrase = ThePassphrase();
  for (const std::string& plain : {std::string(), SRecordText(2000)}) {
    SCOPED_TRACE(plain.size());
    std::string text = "an earlier text";
    ASSERT_EQ(EncodeProtectedText(0, plain.data(), Len(plain), text), CODEC_OK);
    EXPECT_EQ(text.size() % 2, 0u);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), IsUpperHex));
    std::string sealed, rewritten;
    CryptoPP::StringSource(text, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(sealed)));
    CryptoPP::StringSource(sealed, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(rewritten), true, 0));
    EXPECT_EQ(rewritten, text);
    EXPECT_EQ(Unseal(text, passphrase), GzipLevel5(plain));
    std::string decoded;
    ASSERT_EQ(Decode(text, decoded), CODEC_OK);
    EXPECT_EQ(decoded, plain);
    // The buffer entry point's text has the same length: the same layers, only salted apart.
    EXPECT_EQ(Encode(plain).size(), text.size());
  }
  std::string text = "kept";
  EXPECT_EQ(EncodeProtectedText(1, "S9030000FC\r\n", 12, text), CODEC_E_ENCODE);
  EXPECT_EQ(text, "kept");
}

// Every failure is the decode code and leaves the caller's outputs as they were.
TEST(CodecDecode, RejectsWhatIsNotAProtectedTextAndTouchesNoOutput) {
  const std::string text = SRecordText(40);
  const std::string hex = Encode(text);
  const std::string passphrase = ThePassphrase();
  const std::string gzip = GzipLevel5(text);
  auto changeDigit = [&](size_t i) {
    std::string s = hex;
    s[i] = s[i] == '0' ? '1' : '0';
    return s;
  };
  std::string badCrc = gzip;
  badCrc[badCrc.size() - 8] = static_cast<char>(badCrc[badCrc.size() - 8] ^ 1);
  std::string badLength = gzip;
  badLength[badLength.size() - 1] = static_cast<char>(badLength[badLength.size() - 1] ^ 1);

  const struct {
    const char* name;
    std::string input;
  } cases[] = {
      {"plain S-record text", text},
      {"empty", ""},
      {"no hex digits", "this is not it"},
      {"cut inside the salt", hex.substr(0, 10)},
      {"cut inside the key check", hex.substr(0, 24)},
      {"cut after the key check", hex.substr(0, 32)},
      {"cut inside the cipher text", hex.substr(0, hex.size() / 2)},
      {"last byte missing", hex.substr(0, hex.size() - 2)},
      {"last digit missing", hex.substr(0, hex.size() - 1)},
      {"salt digit changed", changeDigit(3)},
      {"key check digit changed", changeDigit(20)},
      {"cipher text digit changed", changeDigit(hex.size() / 2)},
      {"last digit changed", changeDigit(hex.size() - 1)},
      {"another passphrase", Seal(gzip, "another passphrase entirely")},
      {"another passphrase, LF every 5", InsertLineBreaks(Seal(gzip, "another passphrase entirely"), 5, "\n")},
      {"sealed, but not gzip", Seal(text, passphrase)},
      {"sealed nothing", Seal("", passphrase)},
      {"sealed gzip cut short", Seal(gzip.substr(0, gzip.size() - 5), passphrase)},
      {"sealed gzip, wrong CRC", Seal(badCrc, passphrase)},
      {"sealed gzip, wrong length", Seal(badLength, passphrase)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t marker = 0;
    uint8_t* p = &marker;
    uint32_t n = 12345;
    EXPECT_EQ(DecodeProtectedBuffer(0, c.input.data(), Len(c.input), &p, &n), CODEC_E_DECODE);
    EXPECT_EQ(p, &marker);
    EXPECT_EQ(n, 12345u);
  }
}

TEST(CodecDecode, StopsAtTheCapOnPlainText) {
  const uint32_t cap = 100000;
  const struct {
    uint32_t length;
    int expected;
  } cases[] = {{cap, 1}, {cap + 1, 0}, {64 * cap, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, '\xFF');  // inflates far beyond its sealed size
    const std::string hex = Encode(text);
    uint8_t marker = 0;
    uint8_t* p = &marker;
    uint32_t n = 7;
    ASSERT_EQ(DecryptAndDecompress(hex.data(), Len(hex), &p, &n, cap), c.expected);
    if (c.expected == 1) {
      EXPECT_EQ(n, c.length);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(p), n), text);
      FreeBuffer(p);
    } else {
      EXPECT_EQ(p, &marker);
      EXPECT_EQ(n, 7u);
    }
  }
}

// What the decode would refuse is not sealed at all: the sealed file would read as plain.
TEST(CodecEncode, RefusesTextsLongerThanTheDecodeCap) {
  const uint32_t cap = 100000;
  for (const uint32_t length : {cap, cap + 1}) {
    SCOPED_TRACE(length);
    const std::string text(length, '\xFF');
    uint8_t marker = 0;
    uint8_t* p = &marker;
    uint32_t n = 7;
    const int sealed = CompressAndEncrypt(text.data(), length, &p, &n, cap);
    if (length > cap) {
      EXPECT_EQ(sealed, 0);
      EXPECT_EQ(p, &marker);
      EXPECT_EQ(n, 7u);
      continue;
    }
    ASSERT_EQ(sealed, 1);
    Output plain;
    EXPECT_EQ(DecryptAndDecompress(p, n, &plain.p, &plain.n, cap), 1);
    FreeBuffer(p);
    EXPECT_EQ(plain.Text(), text);
  }
}

// The entry point applies the real cap before it reads a byte: the text past the cap is
// address space that may not be touched.
TEST(CodecEncode, EntryPointRefusesTextsPastTheCapUnread) {
  const size_t length = size_t{kCodecMaxDecodedLength} + 1;
  void* text = ::mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(text, MAP_FAILED);
  uint8_t marker = 0;
  uint8_t* p = &marker;
  uint32_t n = 7;
  EXPECT_EQ(EncodeProtectedBuffer(0, text, static_cast<uint32_t>(length), &p, &n), CODEC_E_ENCODE);
  EXPECT_EQ(p, &marker);
  EXPECT_EQ(n, 7u);
  std::string kept = "kept";
  EXPECT_EQ(EncodeProtectedText(0, text, static_cast<uint32_t>(length), kept), CODEC_E_ENCODE);
  EXPECT_EQ(kept, "kept");
  ::munmap(text, length);
}

TEST(CodecEntryPoints, NonZeroFlagsFailAndTouchNoOutput) {
  const std::string text = "S9030000FC\r\n";
  const std::string hex = Encode(text);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs(hex.c_str(), file);
  const struct {
    const char* name;
    CodecResult expected;
    CodecResult (*call)(const std::string&, std::FILE*, uint8_t**, uint32_t*);
  } cases[] = {
      {"decode buffer", CODEC_E_DECODE,
       [](const std::string& s, std::FILE*, uint8_t** p, uint32_t* n) {
         return DecodeProtectedBuffer(1, s.data(), Len(s), p, n);
       }},
      {"encode buffer", CODEC_E_ENCODE,
       [](const std::string& s, std::FILE*, uint8_t** p, uint32_t* n) {
         return EncodeProtectedBuffer(1, s.data(), Len(s), p, n);
       }},
      {"decode file", CODEC_E_DECODE,
       [](const std::string&, std::FILE* f, uint8_t** p, uint32_t* n) { return DecodeProtectedFile(1, f, p, n); }},
      {"encode file", CODEC_E_ENCODE,
       [](const std::string&, std::FILE* f, uint8_t** p, uint32_t* n) { return EncodeProtectedFile(1, f, p, n); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t marker = 0;
    uint8_t* p = &marker;
    uint32_t n = 99;
    EXPECT_EQ(c.call(hex, file, &p, &n), c.expected);
    EXPECT_EQ(p, &marker);
    EXPECT_EQ(n, 99u);
  }
  std::fclose(file);
}

// ---------------------------------------------------------------------------------------------
// File wrappers

TEST(CodecFiles, EncodeAndDecodeWholeStreams) {
  TempDir dir;
  const std::string text = SRecordText(300);
  WriteFile(dir / "plain.sr", text);

  Output sealed;
  std::FILE* plainFile = std::fopen((dir / "plain.sr").c_str(), "rb");
  ASSERT_NE(plainFile, nullptr);
  std::fseek(plainFile, 17, SEEK_SET);  // read from the start wherever the stream stands
  ASSERT_EQ(EncodeProtectedFile(0, plainFile, &sealed.p, &sealed.n), CODEC_OK);
  EXPECT_EQ(std::ftell(plainFile), static_cast<long>(text.size())) << "left after what was read";
  std::fclose(plainFile);
  WriteFile(dir / "sealed.srz", sealed.Text());

  Output plain;
  std::FILE* sealedFile = std::fopen((dir / "sealed.srz").c_str(), "rb");
  ASSERT_NE(sealedFile, nullptr);
  ASSERT_EQ(DecodeProtectedFile(0, sealedFile, &plain.p, &plain.n), CODEC_OK);
  std::fclose(sealedFile);
  EXPECT_EQ(plain.Text(), text);
}

TEST(CodecFiles, StreamsThatCannotBeReadWholeFail) {
  TempDir dir;
  WriteFile(dir / "sealed.srz", Encode("S9030000FC\r\n"));
  std::FILE* pipe = ::popen("printf 0123456789ABCDEF", "r");              // no size to seek to
  std::FILE* writeOnly = std::fopen((dir / "sealed.srz").c_str(), "ab");  // has a size, reads nothing
  ASSERT_NE(pipe, nullptr);
  ASSERT_NE(writeOnly, nullptr);
  const struct {
    const char* name;
    std::FILE* stream;
  } cases[] = {{"null stream", nullptr}, {"pipe", pipe}, {"write-only stream", writeOnly}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t marker = 0;
    uint8_t* p = &marker;
    uint32_t n = 5;
    EXPECT_EQ(DecodeProtectedFile(0, c.stream, &p, &n), CODEC_E_DECODE);
    EXPECT_EQ(EncodeProtectedFile(0, c.stream, &p, &n), CODEC_E_ENCODE);
    EXPECT_EQ(p, &marker);
    EXPECT_EQ(n, 5u);
  }
  ::pclose(pipe);
  std::fclose(writeOnly);
}

// ---------------------------------------------------------------------------------------------
// The stored format: readable by others and by us across versions

bool HaveSystemGzip() { return access("/bin/gzip", X_OK) == 0; }

TEST(CodecInterop, DecodesAGzipStreamWrittenBySystemGzip) {
  if (!HaveSystemGzip()) GTEST_SKIP() << "/bin/gzip not installed";
  TempDir dir;
  const std::string text = SRecordText(500);
  WriteFile(dir / "update.sr", text);
  const std::string command =
      "/bin/gzip -5 -c '" + (dir / "update.sr").string() + "' > '" + (dir / "update.sr.gz").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string gzip = ReadFile(dir / "update.sr.gz");
  ASSERT_GT(gzip.size(), 10u);
  ASSERT_NE(gzip[3] & 0x08, 0) << "the stream carries the file name";

  std::string plain;
  ASSERT_EQ(Decode(Seal(gzip, ThePassphrase()), plain), CODEC_OK);
  EXPECT_EQ(plain, text);
}

TEST(CodecInterop, SystemGzipReadsOurGzipLayer) {
  if (!HaveSystemGzip()) GTEST_SKIP() << "/bin/gzip not installed";
  TempDir dir;
  const std::string text = SRecordText(500, 3);
  WriteFile(dir / "layer.gz", Unseal(Encode(text), ThePassphrase()));
  const std::string command =
      "/bin/gzip -dc '" + (dir / "layer.gz").string() + "' > '" + (dir / "layer").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "layer"), text);
}

// The committed file was sealed once; decoding it guards every stored document against a
// change of passphrase, library class or parameters.
TEST(CodecKnownAnswer, DecodesTheStoredFile) {
  const fs::path data = TESSARY_TEST_DATA;
  const std::string expected = ReadFile(data / "known_answer.sr");
  ASSERT_FALSE(expected.empty());

  Output plain;
  std::FILE* file = std::fopen((data / "known_answer.srz").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DecodeProtectedFile(0, file, &plain.p, &plain.n), CODEC_OK);
  std::fclose(file);
  EXPECT_EQ(plain.Text(), expected);
}

// The gzip layer carries no time stamp or name, so the same text compresses to the same bytes:
// a change of deflate level or window shows here, though old files would still decode.
TEST(CodecKnownAnswer, EncodesTheSameGzipLayerAsTheStoredFile) {
  const fs::path data = TESSARY_TEST_DATA;
  const std::string stored = ReadFile(data / "known_answer.srz");
  const std::string passphrase = ThePassphrase();
  EXPECT_EQ(Unseal(Encode(ReadFile(data / "known_answer.sr")), passphrase), Unseal(stored, passphrase));
}

}  // namespace
