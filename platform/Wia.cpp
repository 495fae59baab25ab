#include "platform/Wia.h"

#include <mutex>

#include "platform/SimClientWia.h"

namespace platform::wia {
namespace {

std::mutex makerMutex;
std::function<ComPtr<IWiaDevMgr>()>& maker() {
  static std::function<ComPtr<IWiaDevMgr>()> installed;
  return installed;
}

}  // namespace

HResult CreateWiaDevMgr(ComPtr<IWiaDevMgr>& manager) {
  std::function<ComPtr<IWiaDevMgr>()> make;
  {
    std::lock_guard lock(makerMutex);
    make = maker();
  }
  manager = make ? make() : makeSimClientWia();
  return manager ? S_OK : E_FAIL;
}

void setWiaDevMgrMaker(std::function<ComPtr<IWiaDevMgr>()> make) {
  std::lock_guard lock(makerMutex);
  maker() = std::move(make);
}

}  // namespace platform::wia
