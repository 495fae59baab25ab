#pragma once
// What a computer's image acquisition service asks of the simulated host about one still-image
// device, and the answers: the wire's part for the simulated scanners behind the device manager.
#include <cstdint>
#include <string>

namespace platform::simwire {

enum class WiaOp : std::uint8_t {
  Describe = 1,  // is the device there for the computer, and what is it?
  Dialog,        // the device's own dialog: S_OK with its item, S_FALSE when closed
  Status,        // its document handling status now
  Acquire,       // one page into `path`
};
inline constexpr std::uint8_t kLastWiaOp = static_cast<std::uint8_t>(WiaOp::Acquire);

// Formats as the wire carries them.
inline constexpr std::uint32_t kWiaFormatBmp = 0x1;
inline constexpr std::uint32_t kWiaFormatJpeg = 0x2;

struct WiaRequest {
  std::string host;
  WiaOp op = WiaOp::Describe;
  std::string deviceId;
  std::uint32_t format = kWiaFormatBmp;  // Acquire: one of the formats
  std::uint32_t dpi = 0;                 // Acquire
  std::string path;                      // Acquire: the file the device writes
};

struct WiaReply {
  std::int32_t hr = 0;          // the HRESULT
  std::int32_t select = 0;      // document handling select (1 feeder, 2 flat bed)
  std::int32_t status = 0;      // document handling status (1 feed ready, 2 flat ready)
  std::int32_t pages = 0;
  std::uint32_t dpi = 0;
  std::uint32_t formats = 0;    // kWiaFormat* bits offered
  std::uint32_t bytes = 0;      // Acquire: the size of the file written
  std::string name;             // the device's name
};

}  // namespace platform::simwire
