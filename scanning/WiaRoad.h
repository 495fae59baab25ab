#pragma once
// The WIA road's two windows, shown modally by the device set-up in turn.
#include <QWidget>
#include <memory>

#include "scanning/TNetWIASaveFm.h"
#include "scanning/TNetWIASetFm.h"
#include "scanning/WiaAccess.h"

namespace scanning {

class WiaRoad : public WiaWindows {
 public:
  explicit WiaRoad(QWidget* parent = nullptr);
  int ShowSettings() override;
  int ShowSave() override;
  void Message(const std::string& text) override;

  // Created once, reused by every scan.
  std::unique_ptr<TNetWIASetFm> SetFm;
  std::unique_ptr<TNetWIASaveFm> SaveFm;
};

}  // namespace scanning
