#include "levelstyle.h"

#include "config.h"

namespace hrv::monitor {

LevelStyle levelStyle(int level)
{
    LevelStyle s;
    switch (level) {
    case 0:
    case 1:
        s.trayIcon = ":/images/heart.png";
        s.toolTip = "Ready";
        break;
    case 2:
        s.trayIcon = ":/images/trash.png";
        s.toolTip = "Stop";
        break;
    case 3:
        s.trayIcon = ":/images/bad.png";
        s.toolTip = "Error";
        break;
    default:
        break;
    }
    switch (level) {
    case 1:
        s.known = true;
        s.titleColour = Qt::black;
        s.picture = ":/W3_b256";
        s.showsWindow = false;
        s.closeIntervalMs = kCloseAfterInfoMs;
        break;
    case 2:
        s.known = true;
        s.titleColour = Qt::darkYellow;
        s.picture = ":/W3_y256";
        s.showsWindow = true;
        s.closeIntervalMs = kCloseAfterInfoMs;
        break;
    case 3:
        s.known = true;
        s.titleColour = Qt::red;
        s.picture = ":/W3_r256";
        s.showsWindow = true;
        s.closeIntervalMs = kCloseAfterErrorMs;
        break;
    default:
        break;
    }
    return s;
}

int balloonTimeMs(int currentLevel)
{
    switch (currentLevel) {
    case 1: return kBalloonInfoMs;
    case 2: return kBalloonWarningMs;
    default: return kBalloonErrorMs;
    }
}

}  // namespace hrv::monitor
