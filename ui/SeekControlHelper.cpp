#include "ui/SeekControlHelper.h"

#include "ui/SeekbarSliderCtrl.h"

namespace ui {

void CSeekControlHelper::HandleScroll(int code, CSeekbarSliderCtrl& bar) {
  const int position = bar.value();
  switch (code) {
    case kSeekThumbTrack:
      if (!tracking_) {
        tracking_ = true;
        if (listener_ != nullptr) listener_->OnSeekBegin(position);
      }
      if (listener_ != nullptr) listener_->OnSeekTrack(position, tracking_);
      break;
    case kSeekThumbPosition:
    case kSeekEndTrack:
      Finish(position);
      break;
    default:
      break;
  }
  bar.update();
}

void CSeekControlHelper::Finish(int position) {
  if (!tracking_) return;
  if (listener_ != nullptr) listener_->OnSeekTrack(position, true);
  tracking_ = false;
  if (listener_ != nullptr) listener_->OnSeekEnd(position);
}

}  // namespace ui
