#include "platform/Com.h"

namespace platform {
namespace {

struct Apartment {
  int count = 0;
  bool multithreaded = false;
};
thread_local Apartment apartment;

}  // namespace

HResult CoInitializeEx(void*, std::uint32_t flags) {
  const bool multithreaded = (flags & kCoInitApartmentThreaded) == 0;
  if (apartment.count > 0) {
    if (apartment.multithreaded != multithreaded) return kRpcEChangedMode;
    ++apartment.count;
    return kSFalse;
  }
  apartment.multithreaded = multithreaded;
  apartment.count = 1;
  return kSOk;
}

void CoUninitialize() {
  if (apartment.count > 0) --apartment.count;
}

int ComInitCount() { return apartment.count; }

}  // namespace platform
