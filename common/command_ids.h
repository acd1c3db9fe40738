// The toolkit takes window and command ids below 0x7FFF only; the system's command ids go up to
// 0xEFFF. Ids in the class library's range 0xE000-0xEFFF and the toolkit's 0x8000-0x8FFF are moved
// below that limit for the toolkit, and back again wherever an id leaves it (profile, tables).
#pragma once

constexpr int WxId(int systemId) {
  if (systemId >= 0xE000 && systemId < 0xF000) return systemId - 0x8000;  // to 0x6000-0x6FFF
  if (systemId >= 0x8000 && systemId < 0x8FFF) return systemId - 0x1000;  // to 0x7000-0x7FFE
  return systemId;
}

constexpr int SystemId(int wxId) {
  if (wxId >= 0x6000 && wxId < 0x7000) return wxId + 0x8000;
  if (wxId >= 0x7000 && wxId < 0x7FFF) return wxId + 0x1000;
  return wxId;
}

static_assert(SystemId(WxId(57600)) == 57600 && WxId(57600) < 0x7FFF);
static_assert(SystemId(WxId(35001)) == 35001 && WxId(35001) < 0x7FFF);
static_assert(SystemId(WxId(134)) == 134);
