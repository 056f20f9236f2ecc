#include "sortlib/device/controller_tag.h"

#include <cstring>

#include "sortlib/device/sort_device.h"

namespace sievex {

std::string_view TagText(const SortDevice* device) {
  const char* tag = reinterpret_cast<const char*>(device->m_InquiryTag);
  return std::string_view(tag, strnlen(tag, sizeof device->m_InquiryTag));
}

char TagChar(const SortDevice* device, size_t index) {
  std::string_view text = TagText(device);
  return index < text.size() ? text[index] : '\0';
}

}  // namespace sievex
