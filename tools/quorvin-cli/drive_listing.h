// The list and info commands.
#pragma once
#include "app/console/sievex_import.h"
#include "tools/quorvin-cli/cli_options.h"

int ListDrives(SievexImport& sievex);
int ShowDriveInfo(SievexImport& sievex, char letter, bool json);

// The INQUIRY vendor, product and controller tag of a volume, read with one
// standard INQUIRY; false when the volume cannot be opened or asked.
struct InquiryText {
  std::string vendor, product, tag;
};
bool ReadInquiryText(char letter, InquiryText* out);

// True when raw SCSI commands to real drives are allowed to this process
// (root or CAP_SYS_RAWIO), or when the drives are simulated.
bool HasRawScsiPrivilege();
