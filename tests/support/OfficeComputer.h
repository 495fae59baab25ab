// The office computer of the window tests: one adapter on the office network, Windows 6.1, and a
// message-box service that records what it shows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Dialogs.h"
#include "platform/SystemInfo.h"

namespace test {

struct OfficeComputer : platform::SystemInfo {
  std::optional<std::string> computerName() override { return "OFFICE-PC"; }
  std::optional<platform::OsVersion> osVersion() override { return platform::OsVersion{6, 1}; }
  std::optional<std::vector<platform::AdapterInfo>> adapters() override {
    platform::AdapterInfo a;
    a.address = {0x3C, 0x52, 0x82, 0x1F, 0x6A, 0x01};
    a.ip = "192.168.1.10";
    a.gateway = "192.168.1.20";
    return std::vector<platform::AdapterInfo>{a};
  }
  std::optional<std::vector<platform::InterfaceRow>> interfaces() override { return std::nullopt; }
  std::optional<std::vector<std::uint16_t>> udpLocalPorts() override { return std::nullopt; }
  std::optional<std::string> resolveHost(std::string_view) override { return "192.168.1.10"; }
};

struct RecordedBoxes : app::MessageBoxes {
  std::vector<std::string> shown;
  int show(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
    return app::kIdOk;
  }
  void showModeless(const std::string& text, const std::string&, unsigned) override {
    shown.push_back(text);
  }
};

}  // namespace test
