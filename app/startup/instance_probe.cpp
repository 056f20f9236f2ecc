#include "app/startup/instance_probe.h"

bool InstanceMutexProbe::Probe(std::string_view name) {
  if (held_) return false;
  held_ = true;  // the handle is kept whatever came of the call
  qv::NamedMutexResult result = create_(name);
  return result == qv::NamedMutexResult::kAlreadyExists ||
         result == qv::NamedMutexResult::kAccessDenied;
}

bool ProbeInstanceMutex(std::string_view name) {
  static InstanceMutexProbe probe(
      [](std::string_view n) { return qv::CreateNamedMutex(n); });
  return probe.Probe(name);
}
