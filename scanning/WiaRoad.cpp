#include "scanning/WiaRoad.h"

#include "core/MessageTable.h"
#include "platform/MessageBoxes.h"

namespace scanning {

WiaRoad::WiaRoad(QWidget* parent)
    : SetFm(std::make_unique<TNetWIASetFm>(parent)), SaveFm(std::make_unique<TNetWIASaveFm>(parent)) {}

int WiaRoad::ShowSettings() { return SetFm->exec(); }

int WiaRoad::ShowSave() { return SaveFm->exec(); }

void WiaRoad::Message(const std::string& text) {
  platform::messageBoxes().show(text, core::kProductName, platform::kMbOk);
}

}  // namespace scanning
