#pragma once

namespace ui {

class CSeekbarSliderCtrl;

// What the seek decision reports to the view.
class ISeekControlEventListener {
 public:
  virtual ~ISeekControlEventListener() = default;
  virtual void OnSeekTrack(int position, bool tracking) = 0;
  virtual void OnSeekBegin(int position) = 0;
  virtual void OnSeekEnd(int position) = 0;
};

// Turns the seek bar's scroll reports into one begin, the moves, and one end
// per finished drag or click, so a seek is asked for once, never while the
// thumb is still being dragged.
class CSeekControlHelper {
 public:
  void SetListener(ISeekControlEventListener* listener) { listener_ = listener; }
  void HandleScroll(int code, CSeekbarSliderCtrl& bar);
  bool tracking() const { return tracking_; }

 private:
  void Finish(int position);

  bool tracking_ = false;
  ISeekControlEventListener* listener_ = nullptr;
};

}  // namespace ui
