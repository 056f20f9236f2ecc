// A DLLSort constructed the way the program does it: in 260 bytes that
// the caller allocated.
#pragma once
#include <new>

#include "sortlib/interface/sievex.h"

namespace sievex_test {

class PlacedSort {
 public:
  PlacedSort(const char* drive, int verify) {
    char name[8] = {};
    for (int i = 0; drive[i] != '\0' && i < 7; ++i) name[i] = drive[i];
    sort_ = new (storage_) DLLSort(name, verify);
  }
  ~PlacedSort() { sort_->~DLLSort(); }
  PlacedSort(const PlacedSort&) = delete;
  PlacedSort& operator=(const PlacedSort&) = delete;
  DLLSort* operator->() { return sort_; }
  DLLSort& operator*() { return *sort_; }

 private:
  alignas(8) unsigned char storage_[260];
  DLLSort* sort_;
};

}  // namespace sievex_test
