#include "levelstyle.h"

#include "config.h"

namespace hrv::monitor {

LevelStyle levelStyle(int level) {
  // Level 0 shares the ready tray icon of level 1 but is not a shown state.
  static const LevelStyle kStyles[] = {
      {false, Qt::black, "", false, 0, ":/images/heart.png", "Ready"},
      {true, Qt::black, ":/W3_b256", false, kCloseAfterInfoMs, ":/images/heart.png", "Ready"},
      {true, Qt::darkYellow, ":/W3_y256", true, kCloseAfterInfoMs, ":/images/trash.png", "Stop"},
      {true, Qt::red, ":/W3_r256", true, kCloseAfterErrorMs, ":/images/bad.png", "Error"},
  };
  if (level < 0 || level > 3) return LevelStyle();
  return kStyles[level];
}

int balloonTimeMs(int currentLevel) {
  switch (currentLevel) {
    case 1:
      return kBalloonInfoMs;
    case 2:
      return kBalloonWarningMs;
    default:
      return kBalloonErrorMs;
  }
}

}  // namespace hrv::monitor
