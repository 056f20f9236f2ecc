#include "tools/quorvin-cli/map_picture.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::array<BlockKind, 5> kKinds = {BlockKind::kGood, BlockKind::kFoundBad, BlockKind::kMarked,
                                             BlockKind::kTable, BlockKind::kAbsent};
constexpr Rgb kBackground{0xFF, 0xFF, 0xFF};
constexpr Rgb kInk{0x40, 0x40, 0x40};
constexpr uint32_t kSwatch = 12;
constexpr uint32_t kSwatchStep = 16;
constexpr uint32_t kSvgLegendStep = 150;

// SVG patterns repeat from the origin, so every cell must start on the pitch.
static_assert(MapLayout::kMargin % MapLayout::kPitch == 0);
static_assert(MapLayout::kLegendHeight % MapLayout::kPitch == 0);
static_assert(MapLayout::kCaptionHeight % MapLayout::kPitch == 0);
static_assert(MapLayout::kBandGap % MapLayout::kPitch == 0);

const char* LabelOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kGood: return "good";
    case BlockKind::kFoundBad: return "found bad in testing";
    case BlockKind::kMarked: return "marked bad";
    case BlockKind::kTable: return "bad-block table";
    case BlockKind::kAbsent: return "not present";
  }
  return "";
}

size_t IndexOf(BlockKind kind) { return static_cast<size_t>(kind); }

std::string Hex(Rgb c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t') out += ch;
    }
  }
  return out;
}

std::string Caption(const BlockMap& map, uint32_t ce) {
  BlockCounts c = map.Count(ce);
  std::string text = "CE " + std::to_string(ce) + ": " + std::to_string(c.good) + " good, " +
                     std::to_string(c.foundBad) + " found bad in testing, " + std::to_string(c.marked) +
                     " marked bad, " + std::to_string(c.table) + " table";
  if (c.absent) text += ", " + std::to_string(c.absent) + " not present";
  return text;
}

class Canvas {
 public:
  explicit Canvas(MapImage* image) : image_(*image) {}
  void Fill(uint32_t x, uint32_t y, uint32_t w, uint32_t h, Rgb c) {
    for (uint32_t j = y; j < std::min(y + h, image_.height); ++j)
      for (uint32_t i = x; i < std::min(x + w, image_.width); ++i) {
        uint8_t* p = &image_.rgb[(size_t(j) * image_.width + i) * 3];
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
      }
  }

 private:
  MapImage& image_;
};

bool WriteWhole(const std::string& path, const void* data, size_t size, std::string* why) {
  // A sibling temporary file renamed over the target: an older picture is
  // never left half overwritten.
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *why = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *why = "cannot write " + path + ": " + std::strerror(errno);
      close(fd);
      unlink(name.data());
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  fchmod(fd, 0644);
  if (close(fd) != 0 || std::rename(name.data(), path.c_str()) != 0) {
    *why = "cannot write " + path + ": " + std::strerror(errno);
    unlink(name.data());
    return false;
  }
  return true;
}

bool EncodePng(const MapImage& image, std::vector<uint8_t>* out, std::string* why) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  const png_int_32 stride = static_cast<png_int_32>(image.width * 3);
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), stride, nullptr)) {
    *why = std::string("PNG encoding failed: ") + png.message;
    return false;
  }
  out->resize(size);
  if (!png_image_write_to_memory(&png, out->data(), &size, 0, image.rgb.data(), stride, nullptr)) {
    *why = std::string("PNG encoding failed: ") + png.message;
    return false;
  }
  out->resize(size);
  return true;
}

}  // namespace

MapFormat MapFormatOf(const std::string& path) {
  auto endsWith = [&](const char* ext) {
    size_t n = std::strlen(ext);
    if (path.size() <= n) return false;
    for (size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
    return true;
  };
  if (endsWith(".png")) return MapFormat::kPng;
  if (endsWith(".svg")) return MapFormat::kSvg;
  return MapFormat::kUnknown;
}

Rgb ColourOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kGood: return {0x5C, 0xB8, 0x5C};
    case BlockKind::kFoundBad: return {0xF0, 0xAD, 0x4E};
    case BlockKind::kMarked: return {0xD9, 0x53, 0x4F};
    case BlockKind::kTable: return {0x42, 0x7F, 0xED};
    case BlockKind::kAbsent: return {0xD0, 0xD0, 0xD0};
  }
  return kBackground;
}

uint32_t MapLayout::CellX(uint32_t block) const { return kMargin + (block % columns) * kPitch; }

uint32_t MapLayout::CellY(uint32_t ce, uint32_t block) const { return BandTop(ce) + (block / columns) * kPitch; }

uint32_t MapLayout::BandTop(uint32_t ce) const {
  return kMargin + kLegendHeight + ce * (kCaptionHeight + rowsPerCE * kPitch + kBandGap) + kCaptionHeight;
}

uint32_t MapLayout::SwatchX(BlockKind kind) const {
  return kMargin + static_cast<uint32_t>(IndexOf(kind)) * kSwatchStep;
}

MapLayout LayOut(const BlockMap& map) {
  MapLayout l;
  l.ces = static_cast<uint32_t>(map.ces.size());
  l.columns = std::clamp<uint32_t>(map.blocksPerCE, 1, MapLayout::kMaxColumns);
  l.rowsPerCE = (map.blocksPerCE + l.columns - 1) / l.columns;
  const uint32_t legend = static_cast<uint32_t>(kKinds.size()) * kSwatchStep;
  l.width = 2 * MapLayout::kMargin + std::max(l.columns * MapLayout::kPitch, legend);
  l.height = l.ces ? l.BandTop(l.ces - 1) + l.rowsPerCE * MapLayout::kPitch + MapLayout::kMargin
                   : MapLayout::kMargin * 2 + MapLayout::kLegendHeight;
  return l;
}

Rgb MapImage::At(uint32_t x, uint32_t y) const {
  const uint8_t* p = &rgb.at((size_t(y) * width + x) * 3);
  return {p[0], p[1], p[2]};
}

MapImage RenderMap(const BlockMap& map) {
  const MapLayout l = LayOut(map);
  MapImage image;
  image.width = l.width;
  image.height = l.height;
  image.rgb.assign(size_t(l.width) * l.height * 3, 0xFF);
  Canvas canvas(&image);
  for (BlockKind kind : kKinds) canvas.Fill(l.SwatchX(kind), MapLayout::kSwatchY, kSwatch, kSwatch, ColourOf(kind));
  for (uint32_t ce = 0; ce < l.ces; ++ce) {
    // The caption row holds CE n as n + 1 dots and a rule across the band.
    const uint32_t captionY = l.BandTop(ce) - MapLayout::kCaptionHeight;
    for (uint32_t dot = 0; dot <= ce; ++dot) canvas.Fill(MapLayout::kMargin + dot * 6, captionY + 6, 4, 4, kInk);
    const uint32_t ruleX = MapLayout::kMargin + (ce + 1) * 6 + 4;
    const uint32_t gridRight = MapLayout::kMargin + l.columns * MapLayout::kPitch - (MapLayout::kPitch - MapLayout::kCell);
    if (gridRight > ruleX) canvas.Fill(ruleX, captionY + 8, gridRight - ruleX, 1, ColourOf(BlockKind::kAbsent));
    const std::vector<BlockKind>& blocks = map.ces[ce];
    for (uint32_t b = 0; b < blocks.size(); ++b)
      canvas.Fill(l.CellX(b), l.CellY(ce, b), MapLayout::kCell, MapLayout::kCell, ColourOf(blocks[b]));
  }
  return image;
}

std::string MapSvg(const BlockMap& map, const std::string& title) {
  const MapLayout l = LayOut(map);
  const uint32_t width = std::max(l.width, 2 * MapLayout::kMargin + uint32_t(kKinds.size()) * kSvgLegendStep);
  std::string svg;
  auto add = [&](const std::string& s) { svg += s; };
  auto num = [](uint32_t v) { return std::to_string(v); };
  add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" + num(l.height) +
      "\" viewBox=\"0 0 " + num(width) + " " + num(l.height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n");
  add("<title>" + Escaped(title) + "</title>\n<defs>\n");
  for (BlockKind kind : kKinds)
    add("<pattern id=\"k" + num(uint32_t(IndexOf(kind))) + "\" width=\"" + num(MapLayout::kPitch) + "\" height=\"" +
        num(MapLayout::kPitch) + "\" patternUnits=\"userSpaceOnUse\"><rect width=\"" + num(MapLayout::kCell) +
        "\" height=\"" + num(MapLayout::kCell) + "\" fill=\"" + Hex(ColourOf(kind)) + "\"/></pattern>\n");
  add("</defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
  for (BlockKind kind : kKinds) {
    const uint32_t x = MapLayout::kMargin + uint32_t(IndexOf(kind)) * kSvgLegendStep;
    add("<rect x=\"" + num(x) + "\" y=\"" + num(MapLayout::kSwatchY) + "\" width=\"" + num(kSwatch) + "\" height=\"" +
        num(kSwatch) + "\" fill=\"" + Hex(ColourOf(kind)) + "\"/><text x=\"" + num(x + kSwatch + 4) + "\" y=\"" +
        num(MapLayout::kSwatchY + 10) + "\">" + LabelOf(kind) + "</text>\n");
  }
  for (uint32_t ce = 0; ce < l.ces; ++ce) {
    add("<text x=\"" + num(MapLayout::kMargin) + "\" y=\"" + num(l.BandTop(ce) - 5) + "\" fill=\"" + Hex(kInk) +
        "\">" + Escaped(Caption(map, ce)) + "</text>\n");
    const std::vector<BlockKind>& blocks = map.ces[ce];
    // One rectangle per run of equal blocks within a row, filled with the
    // kind's cell pattern.
    for (uint32_t first = 0; first < blocks.size();) {
      uint32_t end = first + 1;
      while (end < blocks.size() && blocks[end] == blocks[first] && end % l.columns != 0) ++end;
      const BlockKind kind = blocks[first];
      add("<rect x=\"" + num(l.CellX(first)) + "\" y=\"" + num(l.CellY(ce, first)) + "\" width=\"" +
          num((end - first) * MapLayout::kPitch) + "\" height=\"" + num(MapLayout::kPitch) + "\" fill=\"url(#k" +
          num(uint32_t(IndexOf(kind))) + ")\"");
      if (kind == BlockKind::kGood) {
        add("/>\n");
      } else {
        std::string blocksText = end - first == 1 ? "block " + num(first)
                                                  : "blocks " + num(first) + "-" + num(end - 1);
        add("><title>CE " + num(ce) + " " + blocksText + ": " + LabelOf(kind) + "</title></rect>\n");
      }
      first = end;
    }
  }
  add("</svg>\n");
  return svg;
}

bool WriteMapFile(const std::string& path, const BlockMap& map, const std::string& title, std::string* why) {
  switch (MapFormatOf(path)) {
    case MapFormat::kPng: {
      std::vector<uint8_t> bytes;
      return EncodePng(RenderMap(map), &bytes, why) && WriteWhole(path, bytes.data(), bytes.size(), why);
    }
    case MapFormat::kSvg: {
      std::string text = MapSvg(map, title);
      return WriteWhole(path, text.data(), text.size(), why);
    }
    case MapFormat::kUnknown: break;
  }
  *why = path + ": the map is written as .png or .svg";
  return false;
}
