#pragma once
// The TWAIN sources of a simulated computer's network scanners. A source asks the simulated host
// what the computer's scanners are, and before it opens and before each page whether the computer
// holds the scanner's shared device: a scanner that is not held fails as an unreachable one would.
// Where the host says so, the computer's sources also include this machine's SANE devices.
#include <functional>
#include <optional>
#include <string>

#include "platform/SimWire.h"
#include "platform/TwainManager.h"

namespace platform::twain {

using ScannerTransport =
    std::function<std::optional<simwire::ScannerReply>(const simwire::ScannerRequest&)>;

// The sources of `host`, asked through `transport` each time the manager opens.
SourceProvider simScannerProvider(std::string host, ScannerTransport transport);

// Over the simulated host's socket, as platform::sim::thisHostName().
SourceProvider simClientScannerProvider();

// One network scanner's source (used by the provider; tests build one directly).
std::unique_ptr<Source> makeSimScannerSource(const SimScanner& scanner, std::uint32_t index,
                                             std::string host, ScannerTransport transport);

}  // namespace platform::twain
