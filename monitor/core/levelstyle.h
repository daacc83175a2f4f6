// How a level is presented: title colour, state picture, window and tray
// behaviour. Level 0 and any value outside 1..3 only replace the texts and
// clear the picture.
#pragma once

#include <qnamespace.h>

namespace hrv::monitor {

struct LevelStyle {
  bool known = false;  // level 1..3
  Qt::GlobalColor titleColour = Qt::black;
  const char* picture = "";   // ":/W3_b256" ...; empty = clear
  bool showsWindow = false;   // levels 2 and 3
  int closeIntervalMs = 0;    // closeTimer interval; 0 = unchanged
  const char* trayIcon = "";  // ":/images/heart.png" ...
  const char* toolTip = "";   // "Ready", "Stop", "Error" (translatable)
};
LevelStyle levelStyle(int level);

// Balloon display time for the current level.
int balloonTimeMs(int currentLevel);

}  // namespace hrv::monitor
