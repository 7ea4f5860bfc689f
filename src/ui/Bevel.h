#pragma once

#include <QFrame>

namespace tarnel {

// A bottom-line bevel: two one-pixel lines along the bottom edge, light over dark when the frame shadow is
// Raised, dark over light otherwise. It fills nothing, so whatever lies below shows through.
class TBevel : public QFrame {
  Q_OBJECT
 public:
  explicit TBevel(QWidget* Parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* Event) override;
};

}  // namespace tarnel
