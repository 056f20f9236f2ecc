// Reads a PNG file back as rows of RGB pixels, for the map tests.
#pragma once
#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct DecodedPng {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  std::string error;
};

inline DecodedPng DecodePng(const std::string& path) {
  DecodedPng out;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    out.error = png.message;
    return out;
  }
  png.format = PNG_FORMAT_RGB;
  out.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, out.rgb.data(), 0, nullptr)) {
    out.error = png.message;
    out.rgb.clear();
    return out;
  }
  out.width = png.width;
  out.height = png.height;
  return out;
}
