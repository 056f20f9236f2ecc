#include "tools/quorvin-cli/cli_options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/console/sievex_import.h"
#include "tools/quorvin-cli/map_picture.h"

namespace {

bool ParseNumber(const std::string& text, uint32_t max, uint32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end || v > max) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool ParseDrive(const std::string& text, char* letter) {
  if (text.empty() || text.size() > 3 || !std::isalpha(static_cast<unsigned char>(text[0])))
    return false;
  if (text.size() >= 2 && text[1] != ':') return false;
  if (text.size() == 3 && text[2] != '\\' && text[2] != '/') return false;
  *letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return true;
}

}  // namespace

std::string CliHelpText() {
  return R"(Usage: quorvin-cli [options] COMMAND [DRIVE...]

Repairs USB flash drives of the KR423/KR425 controller family.

Commands:
  list                 every drive letter with its device, type, bus and size;
                       for USB drives the controller and flash found by
                       discovery (identification only: nothing is erased)
  info DRIVE           what the sort library and the device library report
  revert DRIVE...      the flash test: erase, pattern write and verify, bad
                       blocks marked, bad-block table, blank check. Several
                       drives run at once, one thread each (ports 0, 1, ...)
  repair DRIVE         the revert, then the device library's repair

DRIVE is a letter as in E or E:.

Options:
  -y, --yes            do not ask "All Data will be deleted. Continue ?"
                       (without it the question is asked on a terminal, and
                       refused when standard input is not one)
  --json               info: print JSON
  --erase-first N      erase pass before the pattern pass (default 1)
  --test-level N       0, 1 or 2 (default 0)
  --pattern N          pattern type 0 counter, 1 rand, 2 four-tap (default),
                       3 Eval Pattern files, 4 fixed word
  --pattern-value V    value of pattern type 4
  --error-bits N       tolerated differing bits per sector (default 2)
  --page-mode FIRST:COUNT
                       test COUNT pages from page FIRST of every block only
  --ce-group N         CE group index 0, 1 or 2 (1, 2 or 4 CEs; default 1)
  --two-plane          allow two-plane operation
  --no-bad-table       do not write the bad-block table
  --map FILE.png|FILE.svg
                       revert, repair: after the revert, read every block's
                       marks and the bad-block tables back from the flash and
                       draw each CE's blocks: green good, amber found bad in
                       testing (listed in the table only), red marked bad,
                       blue the bad-block table, grey not present. One row
                       of cells per 128 blocks, CE 0 on top. With several
                       drives each gets its own file, FILE-E.png, FILE-F.png
  --write-log MASK     test log categories: 1 results, 2 re-marking, 4 times
  --test-start N       first block tested in every CE
  --test-count N       number of blocks tested (0: all)
  --skip-cannot-mark-bad N
                       0 turns a bad-block count disagreement into a failure
  -h, --help           this text
  --version            the version

The last four set the sort library's registry values for this run only.
The tool finds Sievex.dll, Dravik.dll, flash8k.ini and the Boot folder
beside its own executable. QUORVIN_SIM=<folder> runs it on simulated drives.

Exit codes:
  0    success: the run ended in "Finish" (list and info: success)
  1    the revert or repair failed, or --map wrote no map
  2    usage error
  3    no such drive, or the drive is not a supported USB drive
  4    a product file (Sievex.dll, Dravik.dll) is missing or unusable
  5    the confirmation was declined
  6    no privilege to send raw SCSI commands (root or CAP_SYS_RAWIO)
  130  interrupted (Ctrl-C): the run ended with "UserBreak"
)";
}

bool ParseCliOptions(int argc, char** argv, CliOptions* o, std::string* error) {
  o->config = ProgramRevertConfig();
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](uint32_t max, uint32_t* out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      std::string v = argv[++i];
      if (!ParseNumber(v, max, out)) {
        *error = "bad value for " + arg + ": " + v;
        return false;
      }
      return true;
    };
    uint32_t n = 0;
    if (arg == "-h" || arg == "--help") {
      o->help = true;
    } else if (arg == "--version") {
      o->version = true;
    } else if (arg == "-y" || arg == "--yes") {
      o->yes = true;
    } else if (arg == "--json") {
      o->json = true;
    } else if (arg == "--erase-first") {
      if (!value(1, &n)) return false;
      o->config.m_dwEraseFirst = n;
    } else if (arg == "--test-level") {
      if (!value(2, &n)) return false;
      o->config.m_bTestLevel = static_cast<uint8_t>(n);
    } else if (arg == "--pattern") {
      if (!value(4, &n)) return false;
      o->config.m_bPatternType = static_cast<uint8_t>(n);
    } else if (arg == "--pattern-value") {
      if (!value(0xFFFFFFFF, &n)) return false;
      o->config.m_dwPatternValue = n;
    } else if (arg == "--error-bits") {
      if (!value(255, &n)) return false;
      o->config.m_bErrorBits = static_cast<uint8_t>(n);
    } else if (arg == "--page-mode") {
      if (i + 1 >= argc) {
        *error = arg + " needs FIRST:COUNT";
        return false;
      }
      std::string v = argv[++i];
      size_t colon = v.find(':');
      uint32_t first = 0, count = 0;
      if (colon == std::string::npos || !ParseNumber(v.substr(0, colon), 255, &first) ||
          !ParseNumber(v.substr(colon + 1), 255, &count) || count == 0) {
        *error = "bad value for --page-mode: " + v + " (FIRST:COUNT, COUNT at least 1)";
        return false;
      }
      o->config.m_dwPageMode = 1;
      o->config.m_bFirstPage = static_cast<uint8_t>(first);
      o->config.m_bPageCount = static_cast<uint8_t>(count);
    } else if (arg == "--ce-group") {
      if (!value(2, &n)) return false;
      o->config.m_bCEGroup = static_cast<uint8_t>(n);
    } else if (arg == "--two-plane") {
      o->config.m_dwMultiPlane = 1;
    } else if (arg == "--no-bad-table") {
      o->config.m_dwBadTable = 0;
    } else if (arg == "--write-log") {
      if (!value(7, &n)) return false;
      o->writeLog = n;
    } else if (arg == "--test-start") {
      if (!value(0xFFFFFFFF, &n)) return false;
      o->testStartBlock = n;
    } else if (arg == "--test-count") {
      if (!value(0xFFFFFFFF, &n)) return false;
      o->testBlockCount = n;
    } else if (arg == "--skip-cannot-mark-bad") {
      if (!value(0xFFFFFFFF, &n)) return false;
      o->skipCannotMarkBad = n;
    } else if (arg == "--map") {
      if (i + 1 >= argc) {
        *error = arg + " needs a file name";
        return false;
      }
      o->mapPath = argv[++i];
      if (MapFormatOf(o->mapPath) == MapFormat::kUnknown) {
        *error = "--map writes .png or .svg files: " + o->mapPath;
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
      *error = "unknown option " + arg;
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (o->help || o->version) return true;
  if (positional.empty()) {
    *error = "no command given";
    return false;
  }
  o->command = positional[0];
  for (size_t i = 1; i < positional.size(); ++i) {
    char letter = 0;
    if (!ParseDrive(positional[i], &letter)) {
      *error = "not a drive letter: " + positional[i];
      return false;
    }
    for (char d : o->drives)
      if (d == letter) {
        *error = std::string("drive ") + letter + ": given twice";
        return false;
      }
    o->drives.push_back(letter);
  }
  if (o->command == "list") {
    if (!o->drives.empty()) {
      *error = "list takes no drive";
      return false;
    }
  } else if (o->command == "info" || o->command == "repair") {
    if (o->drives.size() != 1) {
      *error = o->command + " takes exactly one drive";
      return false;
    }
  } else if (o->command == "revert") {
    if (o->drives.empty()) {
      *error = "revert needs at least one drive";
      return false;
    }
    if (o->drives.size() > 26) {
      *error = "too many drives";
      return false;
    }
  } else {
    *error = "unknown command " + o->command;
    return false;
  }
  if (!o->mapPath.empty() && o->command != "revert" && o->command != "repair") {
    *error = "--map goes with revert or repair";
    return false;
  }
  return true;
}
