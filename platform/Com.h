#pragma once
// The per-thread initialisation of the component runtime, as the firewall calls need it: a thread
// is initialised in one mode (apartment or multithreaded) and counts its initialisations.
#include <cstdint>

namespace platform {

// Results with the numbers the system gives them.
using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kRpcEChangedMode = static_cast<HResult>(0x80010106);
inline constexpr HResult kRegdbEClassNotReg = static_cast<HResult>(0x80040154);
inline constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005);

inline bool Succeeded(HResult hr) { return hr >= 0; }

inline constexpr std::uint32_t kCoInitMultithreaded = 0x0;
inline constexpr std::uint32_t kCoInitApartmentThreaded = 0x2;
inline constexpr std::uint32_t kCoInitDisableOle1Dde = 0x4;

// kSOk the first time on a thread, kSFalse again in the same mode, kRpcEChangedMode in the other
// mode (which does not count).
HResult CoInitializeEx(void* reserved, std::uint32_t flags);
void CoUninitialize();
// How many initialisations the calling thread holds.
int ComInitCount();

}  // namespace platform
