// The monitor window: its form, the tray icon with menu and balloons, the
// automatic hide to the tray, and the two timers that drive the monitor.
// Both monitors build it; a MonitorConfig and a StatusSource make the
// difference.
#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>
#include <QVector>
#include <QWidget>

#include <memory>

#include "monitorconfig.h"
#include "statusdecoder.h"
#include "statussource.h"

class DesktopNotifier;
class QAction;
class QCloseEvent;
class QMenu;
class QScreen;
class QTimer;

namespace Ui {
class MainWindow;
}

class MainWindow : public QWidget, public hrv::monitor::MonitorView {
  Q_OBJECT

 public:
  MainWindow(const MonitorConfig& config, std::unique_ptr<StatusSource> source, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows a state: window texts, title colour and picture by level, tray
  // icon and balloon on a change of level, the window for warnings and
  // errors, and the timer that hides it again.
  void showMessageOnWindow(int level, const QString& title, const QString& message) override;
  // Raises the balloon of a new level (or of every state, when configured).
  void triggerBubbleOn(int level, const QString& title, const QString& message);
  // Decodes a printer reply (or a state-file line) and shows its codes.
  void execReturnMsg(const QByteArray& reply);
  // The settings of the last job into the five labels.
  void readPrintJobInfo() override;

  int currentLevel() const override { return currentLevel_; }
  int windowHidden() const override { return windowHidden_; }
  QString bubbleText() const override { return bubbleText_; }
  QString bubbleTitle() const override { return bubbleTitle_; }
  int userShown() const { return userShown_; }

  const MonitorConfig& config() const { return config_; }
  hrv::monitor::MonitorCore& core() { return core_; }
  QSystemTrayIcon* trayIcon() const { return trayIcon_; }
  Ui::MainWindow* form() const { return ui; }

 signals:
  // A balloon was raised: by the tray, or, when there is no tray, by the
  // desktop's notification service (flashed level 1 balloons only by a tray).
  void balloonShown(const QString& title, const QString& message, int icon, int msecs);

 public slots:
  void setIcon(int index);
  void showMessage();
  void iconActivated(QSystemTrayIcon::ActivationReason reason);
  void windowClose();
  void printerStateCheck();
  // Another start of the program asked for the window: shown and raised,
  // and kept open as after a double click on the tray icon.
  void bringToFront();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct LevelIcon {
    QString toolTip;
    QIcon icon;
  };
  struct LevelMessageIcon {
    QString label;
    QSystemTrayIcon::MessageIcon messageIcon;
    QIcon picture;
  };

  void createActions();
  void createTrayIcon();
  void waitForSystemTray();
  void placeOn(QScreen* screen);
  void raiseBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                    int msecs);
  QSystemTrayIcon::MessageIcon messageIconOf(int level) const;

  const MonitorConfig config_;
  std::unique_ptr<StatusSource> source_;
  hrv::monitor::MonitorCore core_;
  Ui::MainWindow* ui = nullptr;

  QSystemTrayIcon* trayIcon_ = nullptr;
  QMenu* trayMenu = nullptr;
  QAction* hideAction = nullptr;
  QAction* restoreAction = nullptr;
  QAction* quitAction = nullptr;
  QTimer* pollTimer = nullptr;
  QTimer* closeTimer = nullptr;
  DesktopNotifier* notifier_ = nullptr;

  // Lookup tables, indexed by level (levelMessageIcons from level 1).
  QVector<LevelIcon> levelIcons;
  QVector<LevelMessageIcon> levelMessageIcons;

  int currentLevel_ = 0;
  QString bubbleTitle_;
  QString bubbleText_;
  int windowHidden_ = 0;
  int userShown_ = 0;
};
