#include "windowplacement.h"

#include <QtGlobal>

#include "config.h"

namespace hrv::monitor {

QPoint windowPosition(const QRect& available, const QSize& window) {
  const int x = available.right() + 1 - kWindowMarginRight - window.width();
  const int y = available.bottom() + 1 - kWindowMarginBottom - window.height();
  return {qMax(x, available.left()), qMax(y, available.top())};
}

}  // namespace hrv::monitor
