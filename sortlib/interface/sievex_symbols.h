// The exported names a program binds with dlsym: the DLLSort constructor
// (complete-object form), StartSort and StopSort, as the compiler mangles
// DLLSort(char*, int), int StartSort(int, _KVConfig*, void (*)(void*)) and
// void StopSort(). The end-to-end tests bind every one of them from the
// built file.
#pragma once

namespace sievex {

inline constexpr const char kSymbolConstructor[] = "_ZN7DLLSortC1EPci";
inline constexpr const char kSymbolStartSort[] = "_ZN7DLLSort9StartSortEiP9_KVConfigPFvPvE";
inline constexpr const char kSymbolStopSort[] = "_ZN7DLLSort8StopSortEv";

// The rest of the class, for tools and tests that bind it the same way.
inline constexpr const char kSymbolDestructor[] = "_ZN7DLLSortD1Ev";
inline constexpr const char kSymbolRefresh[] = "_ZN7DLLSort7RefreshEv";
inline constexpr const char kSymbolGetDiskName[] = "_ZN7DLLSort11GetDiskNameEPc";
inline constexpr const char kSymbolIsDeviceUse[] = "_ZN7DLLSort11IsDeviceUseEv";
inline constexpr const char kSymbolSetDeviceName[] = "_ZN7DLLSort13SetDeviceNameEPc";
inline constexpr const char kSymbolGetConfig[] = "_ZN7DLLSort9GetConfigEP9_KVConfig";
inline constexpr const char kSymbolGetDeviceInfo[] = "_ZN7DLLSort13GetDeviceInfoEP13_USBDevceInfo";

// The object the constructor expects, allocated by the caller.
inline constexpr unsigned kDLLSortSize = 260;

}  // namespace sievex
