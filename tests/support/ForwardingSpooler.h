#pragma once
// A print spooler that hands every call to another one: tests derive from it to watch or change
// a few calls and leave the rest to the simulated spooler.
#include "platform/PrintSpooler.h"

namespace test {

class ForwardingSpooler : public platform::PrintSpooler {
 public:
  explicit ForwardingSpooler(platform::PrintSpooler& inner) : inner_(inner) {}

  platform::OpenPrinterResult OpenPrinter(std::string_view n, std::uint32_t a) override {
    return inner_.OpenPrinter(n, a);
  }
  void ClosePrinter(platform::Handle h) override { inner_.ClosePrinter(h); }
  platform::SpoolerAnswer GetPrinter(platform::Handle h, std::uint32_t n, platform::PrinterInfo& i) override {
    return inner_.GetPrinter(h, n, i);
  }
  platform::SpoolerAnswer SetPrinter(platform::Handle h, const platform::PrinterInfo& i) override {
    return inner_.SetPrinter(h, i);
  }
  platform::SpoolerAnswer ControlPrinter(platform::Handle h, std::uint32_t c) override {
    return inner_.ControlPrinter(h, c);
  }
  platform::SpoolerAnswer EnumJobs(platform::Handle h, std::uint32_t f, std::uint32_t c, std::uint32_t n,
                                   std::vector<platform::JobInfo>& j) override {
    return inner_.EnumJobs(h, f, c, n, j);
  }
  platform::SpoolerAnswer SetJob(platform::Handle h, std::uint32_t id, std::uint32_t c) override {
    return inner_.SetJob(h, id, c);
  }
  platform::SpoolerAnswer EnumPorts(std::uint32_t n, std::vector<platform::PortInfo>& p) override {
    return inner_.EnumPorts(n, p);
  }
  platform::Handle FindFirstPrinterChangeNotification(platform::Handle h, std::uint32_t f) override {
    return inner_.FindFirstPrinterChangeNotification(h, f);
  }
  platform::ChangeWait WaitForPrinterChange(platform::Handle c, std::uint32_t ms,
                                            const platform::Event* stop) override {
    return inner_.WaitForPrinterChange(c, ms, stop);
  }
  bool FindNextPrinterChangeNotification(platform::Handle c) override {
    return inner_.FindNextPrinterChangeNotification(c);
  }
  void FindClosePrinterChangeNotification(platform::Handle c) override {
    inner_.FindClosePrinterChangeNotification(c);
  }
  platform::SpoolerAnswer EnumPrinters(std::uint32_t f, std::uint32_t n,
                                       std::vector<platform::PrinterInfo5>& p) override {
    return inner_.EnumPrinters(f, n, p);
  }
  platform::SpoolerAnswer EnumJobIds(platform::Handle h, std::uint32_t f, std::uint32_t c, std::uint32_t n,
                                     std::vector<std::uint32_t>& ids) override {
    return inner_.EnumJobIds(h, f, c, n, ids);
  }
  platform::XcvAnswer XcvData(platform::Handle m, std::string_view c, std::span<const std::uint8_t> in,
                              std::uint32_t n, std::vector<std::uint8_t>& out) override {
    return inner_.XcvData(m, c, in, n, out);
  }
  platform::SpoolerAnswer DeletePort(std::string_view p) override { return inner_.DeletePort(p); }
  platform::SpoolerAnswer AddPortEx(std::string_view p, std::string_view m) override {
    return inner_.AddPortEx(p, m);
  }
  platform::SpoolerAnswer StartAddPrinterWizard() override { return inner_.StartAddPrinterWizard(); }

 private:
  platform::PrintSpooler& inner_;
};

}  // namespace test
