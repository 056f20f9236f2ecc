// The dialog's user texts: the same 19 ids in English (United States),
// Traditional Chinese (1028) and Simplified Chinese (2052). The start-up's
// table (app/startup/string_table.h) holds string 4 and decides the
// language from the user's locale: zh_TW and zh_HK read Traditional
// Chinese, every other zh locale Simplified Chinese, all others English.
// This table adds the other 18 ids and hands string 4 to it.
#pragma once
#include <cstdint>
#include <string>

#include "app/startup/string_table.h"

inline constexpr int kIdsRepairButton = 1;
inline constexpr int kIdsCloseButton = 2;
inline constexpr int kIdsRepairManager = 3;
inline constexpr int kIdsBadBlocks = 5;
inline constexpr int kIdsFast = 6;
inline constexpr int kIdsComplete = 7;
inline constexpr int kIdsRepairOption = 8;
inline constexpr int kIdsDeviceInformation = 9;
inline constexpr int kIdsProcessing = 10;
inline constexpr int kIdsRepairComplete = 11;
inline constexpr int kIdsRepairFail = 12;
inline constexpr int kIdsDeviceNotFound = 13;
inline constexpr int kIdsConfirmErase = 14;
inline constexpr int kIdsReadyToUpdate = 15;
inline constexpr int kIdsDeviceNotSupported = 16;
inline constexpr int kIdsSystemNotSupported = 17;
inline constexpr int kIdsReplugDevice = 18;
inline constexpr int kIdsDualChannel = 19;

inline constexpr int kDialogStringCount = 19;

// Text `id` in `language` (UTF-8); an unknown language reads English, an
// unknown id an empty text.
std::string LoadDialogString(int id, uint16_t language);

// Text `id` in the user's language (UserLanguage()).
std::string DialogString(int id);
