#include "dravik/controller_tag.h"

#include <cstring>

namespace dravik {

std::string_view TagText(const uint8_t* tag) {
  const char* text = reinterpret_cast<const char*>(tag);
  return std::string_view(text, strnlen(text, kTagBytes));
}

uint16_t ControllerFromTag(std::string_view text) {
  auto has = [text](std::string_view part) { return text.find(part) != std::string_view::npos; };
  if (has("Qxs")) return 0x428;
  if (has("KR0")) return 0x421;
  if (has("KR1")) return 0x422;
  if (has("KR2")) return 0x429;
  if (has("Krff")) {
    if (has("K423") || has("0423")) return text.size() > 10 && text[10] == 'F' ? 0x436 : 0x423;
    if (has("K425") || has("0425")) return 0x425;
    return 0;
  }
  return has("KR") ? 0x421 : 0;
}

}  // namespace dravik
