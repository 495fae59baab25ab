#pragma once
// One shared USB device as the main window lists it: the record the device rows hold and the
// scanning window takes a copy of. Plain data.
#include <cstdint>
#include <string>

#include "platform/Handle.h"

namespace core {

struct DeviceData {
  platform::Handle bus = platform::kInvalidHandle;
  std::string serverName, serverIp, serverMac;
  std::string port;
  std::string displayName;
  std::string status;
  std::string identity;  // VID + " - " + PID + " - " + serial
  std::string type;
  std::string manufacturer, product, owner;
  std::string vid, pid, serial;
  std::string printerName;
  std::int32_t printerIndex = -1;  // for mass storage: the server's StorageMode
  std::string faxName;
  std::int32_t faxIndex = -1;
  std::int32_t lockType = 0;
  std::int32_t lockCount = 0;
};

}  // namespace core
