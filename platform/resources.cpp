#include "platform/resources.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace qv {

namespace {

std::string UpperType(std::string_view type) {
  std::string key(type);
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return key;
}

struct Registry {
  std::mutex mutex;
  std::map<std::pair<std::string, int>, ResourceBytes> entries;
};

// Constructed on first use, so registrations made by other translation
// units' static objects never run before it exists.
Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: used until exit
  return *registry;
}

}  // namespace

void RegisterResource(std::string_view type, int id, const void* data, size_t size) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries[{UpperType(type), id}] = {static_cast<const uint8_t*>(data), size};
}

void UnregisterResource(std::string_view type, int id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries.erase({UpperType(type), id});
}

bool FindResource(std::string_view type, int id, ResourceBytes* found) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find({UpperType(type), id});
  if (it == r.entries.end()) return false;
  if (found) *found = it->second;
  return true;
}

}  // namespace qv
