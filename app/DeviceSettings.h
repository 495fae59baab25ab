#pragma once
// What the user bound to each shared device (a printer queue, a fax queue, a scanner), kept in the
// registry, the auto-connect lists built from it at start, the registered scanner models and the
// printer vendor table of "AFPrinter.ini".
#include <memory>
#include <string>
#include <vector>

#include "app/AFPrinterIni.h"

namespace app {

struct AutoConnectInfo {
  std::string serverName, serverIp, serverMac;
  std::string deviceVid, devicePid, deviceSno;
  std::string deviceType, deviceManufacturer, deviceProduct;
  bool printerEnable = false;
  std::string printerName, printerPort;
  bool reserve4 = false;  // the fax queue connects itself
  std::string reserve5, reserve6;  // the fax queue and its port
  int scanIndex = 0;
  std::string reserve7;
  std::string scanNameTwain;
  bool reserve8 = false;
  std::string reserve1, reserve2, reserve3;
};

struct AutoLinkPrinter {
  std::string serverIp, serverMac;
  std::string vid, pid, serial;
  std::string queueName, port;
  std::string kind;       // "Printer" or "Fax"
  std::string stateText;  // "Empty" in printer entries
  std::string useText;    // "Used" when the device's printer switch is on
};

using AutoLinkList = std::vector<std::unique_ptr<AutoLinkPrinter>>;

// The key name of a device below "\Auto-Connect".
std::string DeviceKeyName(const AutoConnectInfo& r);

bool ReadDeviceSetting(const std::string& root, AutoConnectInfo& r);
bool WriteDeviceSetting(const std::string& root, const AutoConnectInfo& r);
std::vector<std::string> ListAutoConnectKeys(const std::string& root);
bool ReadDeviceSettingAt(const std::string& root, int index, AutoConnectInfo& r);
bool ReadDeviceSettingFromKey(const std::string& root, const std::string& keyName,
                              AutoConnectInfo& r);
void LoadAutoConnectLists(const std::string& root, AutoLinkList& printers, AutoLinkList& faxes);

std::vector<std::string> LoadScannerIds(const std::string& root);
// Drops every name that lacks "Vid_" or "&Pid_".
void DropMalformedScannerIds(std::vector<std::string>& ids);
bool RegisterScannerId(const std::string& root, const std::string& vid, const std::string& pid,
                       const std::string& identity);
bool UnregisterScannerId(const std::string& root, const std::string& vid, const std::string& pid);

}  // namespace app
