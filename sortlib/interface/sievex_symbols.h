// The exported names a program binds with dlsym: the DLLSort constructor
// (complete-object form), StartSort and StopSort, as the compiler mangles
// DLLSort(char*, int), int StartSort(int, _KVConfig*, void (*)(void*)) and
// void StopSort(). The library's tests look each one up in the built file.
#pragma once

namespace sievex {

inline constexpr const char kSymbolConstructor[] = "_ZN7DLLSortC1EPci";
inline constexpr const char kSymbolStartSort[] = "_ZN7DLLSort9StartSortEiP9_KVConfigPFvPvE";
inline constexpr const char kSymbolStopSort[] = "_ZN7DLLSort8StopSortEv";

// The object the constructor expects, allocated by the caller.
inline constexpr unsigned kDLLSortSize = 260;

}  // namespace sievex
