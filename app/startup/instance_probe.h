// The launcher's test for another launcher that is busy with the same
// working folder: a named mutex that the process creates once and keeps.
#pragma once
#include <functional>
#include <string_view>

#include "platform/named_mutex.h"

inline constexpr char kInstanceMutexName[] = "ZeraraDIR-{44E678F7-DA79-11d3-9FE9-006067718D04}";

using NamedMutexCreator = std::function<qv::NamedMutexResult(std::string_view)>;

// One process's instance mutex: created by the first Probe and then held.
class InstanceMutexProbe {
 public:
  explicit InstanceMutexProbe(NamedMutexCreator create) : create_(std::move(create)) {}

  // True when the mutex already existed or access to it was refused; false
  // when this call created it (or could not), and on every call after the
  // first, since the process then holds the mutex itself.
  bool Probe(std::string_view name);

 private:
  NamedMutexCreator create_;
  bool held_ = false;
};

// The process-wide probe over the platform's named mutexes.
bool ProbeInstanceMutex(std::string_view name);
