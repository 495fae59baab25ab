#pragma once
// Printer ports as the printer set-up dialog and the device set-up wizard see them: the port type
// of a port name, the list of installed printers, and the port tools that create ports through the
// spooler's port monitors, delete them and give a queue another port.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace printing {

// Port types. Negative: the port could not be classified.
inline constexpr int kPortUnlistable = -20;  // the ports cannot be listed
inline constexpr int kPortNoMemory = -10;    // no room for the port list
inline constexpr int kPortMissing = -1;      // no port of that name
inline constexpr int kPortOther = 0;
inline constexpr int kPortLocal = 1;
inline constexpr int kPortLanManager = 2;
inline constexpr int kPortTcpIp = 3;
inline constexpr int kPortInternet = 4;
inline constexpr int kPortFile = 5;
inline constexpr int kPortLpt = 6;
inline constexpr int kPortCom = 7;
inline constexpr int kPortFpr = 8;
inline constexpr int kPortPdf = 9;
inline constexpr int kPortMicrosoft = 10;

// The type of a port by its level-2 description and its name (the first port of that name,
// ignoring case). A text naming several ports ("LPT1:,COM1:") is no port's name: kPortMissing.
int GetPortType(const std::string& portName);

// One row of a printer list: the queue, its port and the port type as decimal text (empty when
// the type is negative), or one of the wizard's marks "90", "91", "92".
struct PrinterRow {
  std::string caption, port, type;
};

// The local queues, in the reverse of the spooler's order, without those on Internet, FPR, PDF
// or MICROSOFT ports or on ports the listing lacks. Empty when the printers cannot be listed.
std::vector<PrinterRow> ListPrinters();

// Results of the port tools.
inline constexpr int kPortMonitorNotOpened = -1;
inline constexpr int kPortRequestFailed = -2;
inline constexpr int kPortFunctionMissing = -3;
inline constexpr int kPortDeleteFailed = -22;
inline constexpr int kReassignedThroughTempPort = 3;
inline constexpr const char* kTempPortName = "TEMP_PORT";

// Creates a local port through the local-port monitor (Windows 6.x), or through the older add-port
// call (4.0). 1 when the port was made, and on 6.x also when it was there already; 0 when the
// monitor could not be opened and on Windows 5.x, where nothing is done; -2 when the monitor
// refused for another reason; on 4.0 the spooler's error code.
int AddLocalPort(const std::string& portName, std::uint32_t windowsVersionFlags);

// The dialog's own fields that say where a network port leads. Nothing in the program sets them.
struct PortTarget {
  bool useFirstHost = false;
  std::string firstHost;
  std::string lprQueue;
  std::string secondHost;
  int protocol = 0;  // 0 a shared-printer path, 1 LPR, 2 raw TCP
  std::uint32_t portNumber = 0;
};

// Adds (or, with configure, reconfigures) a standard TCP/IP port for the target: 1 when done
// (and at once on Windows other than 5.x and 6.x), -1 when the monitor could not be opened, -2
// when it refused.
int AddTcpIpPort(const std::string& portName, bool configure, const PortTarget& target,
                 std::uint32_t windowsVersionFlags);

// Without remove: 0 when the port is not there or cannot be classified, 2 for a LAN Manager port,
// 1 for any other. With remove: 0 when the port was deleted, -22 when that failed (0 as well for a
// port that cannot be classified).
int DeletePort(const std::string& portName, bool remove);

// What SetPrinterPort says to the user, when it says something.
using PortMessageSink = std::function<void(const std::string& text)>;

// Gives the queue the port, clearing its bidirectional and work-offline attributes. 1 when the
// queue took it, 0 otherwise; a refused open is told through `tell`.
int SetPrinterPort(const std::string& queueName, const std::string& portName,
                   const PortMessageSink& tell);

// Makes sure the port exists the way the target needs it, then leaves the queue's move to
// SetPrinterPort: 0 done, 3 done through "TEMP_PORT" (which the caller deletes once the queue has
// its port), negative on failure.
int ReassignPrinterPort(const std::string& queueName, const std::string& portName,
                        const PortTarget& target, std::uint32_t windowsVersionFlags,
                        const PortMessageSink& tell);

// Deletes the queue's jobs 0 to 99 (each listed id that is not 0); false when the queue could not
// be opened.
bool DeletePrinterJobs(const std::string& queueName);

}  // namespace printing
