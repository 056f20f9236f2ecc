// The block map as a picture: one band per CE, CE 0 on top, one cell per
// block in rows of up to 128 blocks, a legend of swatches above. PNG
// through libpng; SVG as text with the legend and the CE captions spelled
// out and a tooltip on every run of bad blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/quorvin-cli/block_map.h"

enum class MapFormat { kUnknown, kPng, kSvg };

// By the file name's extension, in any case.
MapFormat MapFormatOf(const std::string& path);

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
Rgb ColourOf(BlockKind kind);

// Where everything lies, in pixels.
struct MapLayout {
  static constexpr uint32_t kCell = 5;      // a block's square
  static constexpr uint32_t kPitch = 6;     // cell and gap
  static constexpr uint32_t kMargin = 12;   // multiple of the pitch, so SVG patterns line up
  static constexpr uint32_t kLegendHeight = 24;
  static constexpr uint32_t kCaptionHeight = 18;  // above each CE band
  static constexpr uint32_t kBandGap = 12;
  static constexpr uint32_t kMaxColumns = 128;

  uint32_t columns = 0, rowsPerCE = 0, ces = 0;
  uint32_t width = 0, height = 0;

  // Top-left pixel of a block's cell.
  uint32_t CellX(uint32_t block) const;
  uint32_t CellY(uint32_t ce, uint32_t block) const;
  uint32_t BandTop(uint32_t ce) const;  // first row of cells of the CE
  // Top-left pixel of the legend swatch of a kind.
  uint32_t SwatchX(BlockKind kind) const;
  static constexpr uint32_t kSwatchY = kMargin;
};
MapLayout LayOut(const BlockMap& map);

// Rows of RGB pixels, top to bottom.
struct MapImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  Rgb At(uint32_t x, uint32_t y) const;
};
MapImage RenderMap(const BlockMap& map);

std::string MapSvg(const BlockMap& map, const std::string& title);

// Writes the picture in the format of the file name, replacing the file
// only once the whole picture is written. False with the reason.
bool WriteMapFile(const std::string& path, const BlockMap& map, const std::string& title, std::string* why);
