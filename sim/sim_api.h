// The simulator's programmatic face: create a machine and its drives, send
// them commands, plug and unplug them, and read back what the simulator
// recorded (bad marks, "bad_" tables, injected faults), so that tests of
// other modules can take the simulator's own record as the expected answer.
//
// A machine is a folder; each drive is a subfolder (its letter, or
// "disk<N>" for a disk without a volume) holding drive.ini and the state
// files. The platform's sim backend (qv::CreateSimStorage) serves the same
// folders, so a drive made here is what QUORVIN_SIM=<machine> shows.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/drive_spec.h"

namespace sim {

// ---- Machine and drives -------------------------------------------------

// The folder of a drive of a machine ("<machine>/E", "<machine>/disk7").
std::string DriveFolder(const std::string& machine, const DriveSpec& desc);
std::string DriveFolder(const std::string& machine, char letter);

// Creates (or replaces) a drive: expands the fault counts into lists from
// the seed, writes drive.ini and a fresh state (every block erased, the
// factory bad blocks marked). The machine folder is created when missing.
bool CreateDrive(const std::string& machine, const DriveSpec& desc, std::string* error = nullptr);

// The folders of a machine's drives, in a stable order (disk number, then
// folder name).
std::vector<std::string> ListDriveFolders(const std::string& machine);

// Plugs or unplugs a drive: the controller restarts on the next plug; a
// line is appended to "<machine>/events" (see DeviceEventsFile).
bool SetPlugged(const std::string& driveFolder, bool plugged, std::string* error = nullptr);

// The file that receives one line per plug event: "<sequence> <plug|unplug>
// <letter or folder name>\n". A device watch watches it with inotify
// (IN_MODIFY) and re-reads the drives when it grows.
std::string DeviceEventsFile(const std::string& machine);

// Whether the drive in this folder is plugged now (false when it holds
// none). A folder with only a hand-written drive.ini gets its fresh state.
bool IsPlugged(const std::string& driveFolder);

// ---- Commands -----------------------------------------------------------

enum class Direction : uint8_t { kNone, kIn, kOut };

struct Request {
  const uint8_t* cdb = nullptr;
  uint8_t cdbLength = 0;
  Direction direction = Direction::kNone;
  void* data = nullptr;
  uint32_t dataLength = 0;
};

struct Reply {
  bool delivered = false;   // false: the call failed
  uint8_t scsiStatus = 0;   // 0 good, 2 CHECK CONDITION
  uint32_t bytesMoved = 0;
  int osError = 0;          // Windows error code of a failed call
};

// Windows error codes the simulator reports.
inline constexpr int kErrorInvalidFunction = 1;   // refused command
inline constexpr int kErrorFileNotFound = 2;      // drive absent at open
inline constexpr int kErrorIoDevice = 1117;       // flash operation failed
inline constexpr int kErrorNotConnected = 1167;   // drive unplugged

// An open drive: what a volume or disk handle talks to. Commands of every
// handle and process are serialised by a lock on the drive's state.
class Drive {
 public:
  virtual ~Drive() = default;
  // nullptr when the folder holds no drive (or its state cannot be read).
  static std::unique_ptr<Drive> Open(const std::string& folder, std::string* error = nullptr);

  virtual const DriveSpec& Description() const = 0;
  virtual const std::string& Folder() const = 0;
  // Whether the drive is plugged now (and this handle was opened since).
  virtual bool Present() = 0;
  virtual Reply Execute(const Request& request) = 0;
};

// ---- Inspection ---------------------------------------------------------

enum class ControllerState : uint8_t { kRom = 0, kDiscovery = 1, kEngine = 2 };

struct BadBlockTable {
  uint32_t ce = 0;
  uint32_t block = 0;                 // the block that holds it
  std::vector<uint32_t> entries;      // listed block numbers, in page order
  bool closingPage = false;           // the last page holds "bad_"
};

struct DriveReport {
  bool plugged = false;
  bool dead = false;
  bool replugPending = false;         // a KR423 with firmware still runs the engine code
  ControllerState state = ControllerState::kRom;
  bool twoPlane = false;
  int fwInfo = 0;                     // 0 none, 1 accepted, 2 disagrees with the flash
  bool altPages = false;
  uint8_t timingCode = 0, voltageCode = 0;
  uint64_t commands = 0, refused = 0, flashFailures = 0, plugCount = 0;
  uint64_t randomBitFlips = 0;        // random bit errors injected into reads
  double modelledSeconds = 0;
  std::string lastRefusal;
  // Blocks of each CE whose first or last page carries a bad mark (a mark
  // byte with a zero nibble), table blocks excluded.
  std::vector<std::vector<uint32_t>> badMarks;
  std::vector<BadBlockTable> tables;  // "bad_" tables found in flash
  FaultSpec faults;                   // the expanded fault record
  uint64_t totalErases = 0;
  uint32_t maxErases = 0;
  uint64_t programmedPages = 0;
  uint64_t storedContents = 0;        // distinct page contents stored
  uint64_t stateBytes = 0;            // disk space taken by the state files
  // The repair service: firmware the device library wrote (empty: none
  // written) and the user area it committed (0 sectors: none).
  std::string writtenFirmware;
  uint64_t userSectors = 0;
};

bool Inspect(const std::string& driveFolder, DriveReport* report, std::string* error = nullptr);

// Reads the data of one page as the flash holds it (bit errors included,
// which may advance the random error sequence) and its 16 spare bytes.
bool ReadPage(const std::string& driveFolder, uint32_t ce, uint32_t block, uint32_t page,
              std::vector<uint8_t>* data, std::vector<uint8_t>* spare, std::string* error = nullptr);

}  // namespace sim
