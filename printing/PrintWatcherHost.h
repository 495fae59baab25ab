#pragma once
// What a print watcher needs of the main window, and the auto-connect entry it serves. The main
// window answers every call on its own thread (so its lists are never read while it rebuilds
// them); a watcher holds no lock of its own while it calls.
#include <optional>
#include <string>

#include "platform/Handle.h"

namespace printing {

enum class WatchKind { Printer, Fax };

// The part of an auto-connect entry a watcher uses, copied when it starts.
struct PrintWatchEntry {
  std::string queueName;  // the Windows queue
  std::string serverMac;  // "00:1A:2B:3C:4D:5E", as the server list gives it
  std::string vid, pid;   // four upper-case hexadecimal digits
  std::string serial;
  WatchKind kind = WatchKind::Printer;
};

struct ServerView {
  platform::Handle bus = platform::kInvalidHandle;  // kInvalidHandle: no bus attached
  std::string ip;
};

struct DeviceRowView {
  std::string port;    // decimal text of the device's port on its server
  std::string holder;  // host name of the holder; empty when free
};

// A server and its device row, read together.
struct ServerAndRow {
  std::optional<ServerView> server;
  std::optional<DeviceRowView> row;  // looked for only when the server is there
};

class PrintWatcherHost {
 public:
  virtual ~PrintWatcherHost() = default;

  // The server of the list whose MAC text equals `mac`.
  virtual std::optional<ServerView> findServer(const std::string& mac) = 0;
  // The device row whose server MAC, VID, PID and serial all equal these.
  virtual std::optional<DeviceRowView> findDeviceRow(const std::string& mac, const std::string& vid,
                                                     const std::string& pid,
                                                     const std::string& serial) = 0;
  // The server with this MAC and, when it is there, the device row as findDeviceRow finds it, in
  // one visit to the main thread (an idle look-up makes no other).
  virtual ServerAndRow findServerAndRow(const std::string& mac, const std::string& vid,
                                        const std::string& pid, const std::string& serial) {
    ServerAndRow found;
    found.server = findServer(mac);
    if (found.server) found.row = findDeviceRow(mac, vid, pid, serial);
    return found;
  }
  virtual std::string thisHostName() = 0;
  virtual bool sessionEnding() = 0;
  // Attaches the bus of the server with this MAC.
  virtual void attachServerBus(const std::string& mac) = 0;
  // Refreshes the device rows of the server with this MAC from its bus.
  virtual void refreshDeviceList(const std::string& mac) = 0;
  // Shows "The port of auto-connect can not be a LPR / Raw TCP / SMB port." (SAutoLink_Fail),
  // captioned with the product name, with an OK button; returns once the user closed it.
  virtual void showAutoLinkRefused() = 0;
  // Runs the main thread's pending window messages and hand-overs; called on the main thread
  // while it waits for a watcher to end.
  virtual void pumpMessages() {}
};

}  // namespace printing
