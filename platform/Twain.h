#pragma once
// The TWAIN interface as an application and a data source exchange it: the records with their
// published layouts (2-byte packing, Win32 sizes), the operation triplets, return and condition
// codes, capabilities and containers with their published numbers, and the source manager's entry.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/AppMessages.h"

namespace platform::twain {

using TW_UINT16 = std::uint16_t;
using TW_UINT32 = std::uint32_t;
using TW_INT16 = std::int16_t;
using TW_INT32 = std::int32_t;
using TW_BOOL = std::uint16_t;
// Memory handles and window handles as a 32-bit program passes them.
using TW_HANDLE = std::uint32_t;

#pragma pack(push, 2)
struct TW_STR32 {
  char text[34];
};
struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};
struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};
struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};
struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};
struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};
struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};
struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};
struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 Reserved;
};
struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};
#pragma pack(pop)

static_assert(sizeof(TW_STR32) == 34);
static_assert(sizeof(TW_FIX32) == 4);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(sizeof(TW_CAPABILITY) == 8);
static_assert(sizeof(TW_USERINTERFACE) == 8);
static_assert(sizeof(TW_PENDINGXFERS) == 6);

// Not packed: a pointer and a message, used only within one process.
struct TW_EVENT {
  AppMessage* pEvent;
  TW_UINT16 TWMessage;
};

// Groups.
inline constexpr TW_UINT32 DG_CONTROL = 0x0001;
inline constexpr TW_UINT32 DG_IMAGE = 0x0002;

// Data argument types.
inline constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
inline constexpr TW_UINT16 DAT_EVENT = 0x0002;
inline constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
inline constexpr TW_UINT16 DAT_PARENT = 0x0004;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
inline constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
inline constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
inline constexpr TW_UINT16 DAT_STATUS = 0x0008;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
inline constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
inline constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
inline constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
inline constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;

// Messages.
inline constexpr TW_UINT16 MSG_NULL = 0x0000;
inline constexpr TW_UINT16 MSG_GET = 0x0001;
inline constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
inline constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
inline constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
inline constexpr TW_UINT16 MSG_SET = 0x0006;
inline constexpr TW_UINT16 MSG_RESET = 0x0007;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
inline constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x0401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes.
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// Condition codes.
inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;
inline constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;
inline constexpr TW_UINT16 TWCC_BADDEST = 12;
inline constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
inline constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
inline constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
inline constexpr TW_UINT16 TWCC_PAPERJAM = 20;

// Capabilities, containers, item types and transfer mechanisms.
inline constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
inline constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
inline constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWTY_UINT16 = 4;
inline constexpr TW_UINT16 TWTY_FIX32 = 7;
inline constexpr TW_UINT16 TWSX_NATIVE = 0;
inline constexpr TW_UINT16 TWSX_FILE = 1;
inline constexpr TW_UINT16 TWSX_MEMORY = 2;

// Pixel types.
inline constexpr TW_INT16 TWPT_BW = 0;
inline constexpr TW_INT16 TWPT_GRAY = 1;
inline constexpr TW_INT16 TWPT_RGB = 2;

// Languages and countries the program names.
inline constexpr TW_UINT16 TWLG_USA = 13;
inline constexpr TW_UINT16 TWCY_USA = 1;

// The protocol this manager speaks.
inline constexpr TW_UINT16 kProtocolMajor = 1;
inline constexpr TW_UINT16 kProtocolMinor = 7;

// The message id the sources post their notifications under (a registered window message).
inline constexpr std::uint32_t kSourceNotifyMessage = 0xC0A5;

// The source manager's entry: (origin, destination or null, group, data type, message, data).
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg,
                                    TW_UINT16 dat, TW_UINT16 msg, void* data);

// TW_STR32 helpers: the text up to the first zero byte; a set zero-fills and keeps 32 characters.
inline std::string str32(const TW_STR32& s) { return std::string(s.text, strnlen(s.text, 34)); }
inline void setStr32(TW_STR32& s, std::string_view text) {
  std::memset(s.text, 0, sizeof s.text);
  std::memcpy(s.text, text.data(), text.size() < 32 ? text.size() : 32);
}

// FIX32 <-> whole dots per inch.
inline int dpiFromFix32(TW_FIX32 f) {
  return static_cast<int>(static_cast<double>(f.Whole) + static_cast<double>(f.Frac) / 65536.0);
}
inline TW_FIX32 fix32FromDpi(int dpi) { return TW_FIX32{static_cast<TW_INT16>(dpi), 0}; }

}  // namespace platform::twain
