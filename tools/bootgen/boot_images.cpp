#include "tools/bootgen/boot_images.h"

#include <cstring>

namespace bootgen {

namespace {

using qvboot::Case;

constexpr uint16_t kKR423 = 0x423;
constexpr uint16_t kKR425 = 0x425;

Case Kr425Tag(char c8, char c9) {
  return Case{kKR425, qvboot::kControllerEquals, {c8, c9}, qvboot::kDeviceCodeAny,
              qvboot::kRevisionAny, 0};
}

// Controllers other than the KR425, chosen by flash device code and revision.
Case NotKr425(qvboot::DeviceCodeMatch code, uint8_t revision) {
  return Case{kKR425, qvboot::kControllerOther, {0, 0}, code, revision, 0};
}

Case Controller(uint16_t id) {
  return Case{id, qvboot::kControllerEquals, {0, 0}, qvboot::kDeviceCodeAny,
              qvboot::kRevisionAny, 0};
}

// A small deterministic generator, so that every build writes the same bytes.
uint32_t NextRandom(uint32_t* state) {
  *state = *state * 1103515245u + 12345u;
  return *state >> 16;
}

uint32_t Seed(const char* text) {
  uint32_t hash = 2166136261u;
  for (const char* p = text; *p; ++p) hash = (hash ^ static_cast<uint8_t>(*p)) * 16777619u;
  return hash;
}

// Unused flash reads back as 0xFF; the slice after the header holds
// code-like bytes that differ from image to image.
std::vector<uint8_t> BlankImage(const char* name) {
  std::vector<uint8_t> image(qvboot::kImageSize, 0xFF);
  uint32_t state = Seed(name);
  for (size_t i = qvboot::kSliceOffset + sizeof(qvboot::Header);
       i < qvboot::kSliceOffset + qvboot::kSliceSize; ++i)
    image[i] = static_cast<uint8_t>(NextRandom(&state));
  return image;
}

}  // namespace

const std::vector<ImageSpec>& BootImages() {
  using qvboot::kDeviceCodeInD;
  using qvboot::kDeviceCodeNotInD;
  using qvboot::kRevisionOther;
  static const std::vector<ImageSpec> images = {
      // Discovery images.
      {"425\\fw2.BIN", qvboot::kRoleDiscovery, {Kr425Tag('A', '0'), NotKr425(kDeviceCodeInD, 1)}},
      {"425\\fwa1.BIN", qvboot::kRoleDiscovery, {Kr425Tag('A', '1')}},
      {"423\\BA\\fw1.BIN", qvboot::kRoleDiscovery, {NotKr425(kDeviceCodeNotInD, 1)}},
      {"423\\CA\\fw1.BIN", qvboot::kRoleDiscovery, {NotKr425(kDeviceCodeNotInD, 2)}},
      {"423\\CA\\fwt.BIN", qvboot::kRoleDiscovery, {NotKr425(kDeviceCodeInD, 2)}},
      {"423\\DA\\fw1.BIN", qvboot::kRoleDiscovery, {NotKr425(kDeviceCodeNotInD, kRevisionOther)}},
      {"423\\DA\\fwt.BIN", qvboot::kRoleDiscovery, {NotKr425(kDeviceCodeInD, kRevisionOther)}},
      // Engine images.
      {"425\\k425sa1.bin", qvboot::kRoleEngine, {Kr425Tag('A', '1')}},
      {"425\\k425s.bin", qvboot::kRoleEngine, {Kr425Tag('A', '0')}},
      {"423\\k423s.bin", qvboot::kRoleEngine, {Controller(kKR423)}},
  };
  return images;
}

std::vector<uint8_t> BuildBootImage(const ImageSpec& desc) {
  std::vector<uint8_t> image = BlankImage(desc.entryName);
  qvboot::Header header{};
  std::memcpy(header.magic, qvboot::kMagic, sizeof header.magic);
  header.role = desc.role;
  header.caseCount = static_cast<uint8_t>(desc.cases.size());
  std::strncpy(header.name, desc.entryName, sizeof header.name - 1);
  for (size_t i = 0; i < desc.cases.size() && i < qvboot::kMaxCases; ++i)
    header.cases[i] = desc.cases[i];
  std::memcpy(image.data() + qvboot::kSliceOffset, &header, sizeof header);
  return image;
}

std::vector<uint8_t> BuildFirmwareImage(const char* entryName) {
  std::vector<uint8_t> image = BlankImage(entryName);
  // The 16 bytes read at 0xEFF0: a mark, the six version characters, zeros.
  std::memset(image.data() + kFirmwareMarkOffset, 0, 16);
  image[kFirmwareMarkOffset] = 'F';
  image[kFirmwareMarkOffset + 1] = 'W';
  std::memcpy(image.data() + kFirmwareVersionOffset, kFirmwareVersion, 6);
  return image;
}

}  // namespace bootgen
