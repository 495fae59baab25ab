#include "scanning/WiaRoad.h"

#include "app/Dialogs.h"

namespace scanning {

WiaRoad::WiaRoad(QWidget* parent)
    : SetFm(std::make_unique<TNetWIASetFm>(parent)), SaveFm(std::make_unique<TNetWIASaveFm>(parent)) {}

int WiaRoad::ShowSettings() { return SetFm->exec(); }

int WiaRoad::ShowSave() { return SaveFm->exec(); }

void WiaRoad::Message(const std::string& text) {
  app::messageBoxes().show(text, app::kProductName, app::kMbOk);
}

}  // namespace scanning
