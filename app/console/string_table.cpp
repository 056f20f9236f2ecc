#include "app/console/string_table.h"

namespace {

struct DialogStrings {
  int id;
  const char* english;
  const char* traditional;
  const char* simplified;
};

// Strings 16, 17 and 19 are English in every table, and string 15 is
// English (without the trailing blank) in the Simplified Chinese one.
constexpr DialogStrings kStrings[] = {
    {kIdsRepairButton, "Update", "更新", "重建"},
    {kIdsCloseButton, "Close", "結束", "结束"},
    {kIdsRepairManager, "Repair Manager", "修復管理員", "修复管理员"},
    {kIdsBadBlocks, "Bad Blocks", "損壞區塊", "损坏区块"},
    {kIdsFast, "Fast", "快速", "快速"},
    {kIdsComplete, "Complete(Revert)", "完整(Revert)", "完整(Revert)"},
    {kIdsRepairOption, "Repair Option", "修復選項", "修复选项"},
    {kIdsDeviceInformation, "Device Information", "裝置資訊", "装置资讯"},
    {kIdsProcessing, "Processing", "處理進度", "处理进度"},
    {kIdsRepairComplete, "Repair complete, Please un-plug device", "裝置修復成功，請重新插拔裝置",
     "装置修复成功，请重新插拔装置"},
    {kIdsRepairFail, "Repair fail", "裝置修復失敗", "装置修复失败"},
    {kIdsDeviceNotFound, "Device not found, please insert device", "無法找到裝置，請插入硬體裝置",
     "无法找到装置，请插入硬体装置"},
    {kIdsConfirmErase, "All Data will be deleted. Continue ?", "所有的資料與設定都會被刪除!\r\n是否繼續 ?",
     "所有的资料与设定都会被删除!\r\n是否继续 ?"},
    {kIdsReadyToUpdate, "Are you ready to update ? ", "確定要開始進行更新的程序嗎？",
     "Are you ready to update ?"},
    {kIdsDeviceNotSupported, "The Recovery Utility do not support this device.",
     "The Recovery Utility do not support this device.", "The Recovery Utility do not support this device."},
    {kIdsSystemNotSupported,
     "User can not use this tool in Windows Vista, please use it in Windows 2000/XP.",
     "User can not use this tool in Windows Vista, please use it in Windows 2000/XP.",
     "User can not use this tool in Windows Vista, please use it in Windows 2000/XP."},
    {kIdsReplugDevice, "Please re-plug device to finish the job.", "請插拔裝置，以完成工作",
     "请重新插拔装置，以完成工作"},
    {kIdsDualChannel, "Dual chanel mode can not be rescued.", "Dual chanel mode can not be rescued.",
     "Dual chanel mode can not be rescued."},
};

}  // namespace

std::string LoadDialogString(int id, uint16_t language) {
  for (const DialogStrings& entry : kStrings) {
    if (entry.id != id) continue;
    if (language == kLangTraditionalChinese) return entry.traditional;
    if (language == kLangSimplifiedChinese) return entry.simplified;
    return entry.english;
  }
  // String 4 lives in the start-up's table.
  return LoadString(id, language);
}

std::string DialogString(int id) { return LoadDialogString(id, UserLanguage()); }
