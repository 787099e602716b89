#include "jobs/tape_failure.h"

#include "scsi/sense.h"

namespace korv::jobs {

std::string tapeFailureCause(const TScsifile& sf) {
  const SenseInfo sense = decodeSense(sf.AspiRequest.SenseArea, kSenseAllocation);
  if (!sense.valid) return {};
  const std::string prefix = "書き込めなかった原因：";
  if (sense.key == SENSE_VOLUME_OVERFLOW || (sense.eom && sense.key != SENSE_BLANK_CHECK))
    return prefix +
           "テープの終わりに達しました（テープイメージでは，設定した容量を使い切ったか，"
           "その置き場所のディスクに空きがありません）";
  if (sense.key == SENSE_DATA_PROTECT) return prefix + "テープが書き込み禁止になっています";
  if (sense.key == SENSE_MEDIUM_ERROR) return prefix + "テープの媒体エラーです";
  if (sense.key == SENSE_HARDWARE_ERROR) return prefix + "ドライブのハードウェアエラーです";
  if (sense.key == SENSE_NOT_READY) return prefix + "テープの準備が出来ていません";
  return {};
}

}  // namespace korv::jobs
