// Where the monitor window goes on the desktop.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace hrv::monitor {

// The top-left corner of a window of size `window` placed in the
// bottom-right corner of `available` (the desktop's available area, panels
// excluded), hrv::kWindowMarginRight pixels from its right edge and
// hrv::kWindowMarginBottom from its bottom edge. An area too small for the
// window keeps the window's top-left corner inside it.
QPoint windowPosition(const QRect& available, const QSize& window);

}  // namespace hrv::monitor
