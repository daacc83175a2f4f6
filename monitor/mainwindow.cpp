#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "config.h"
#include "desktopnotifier.h"
#include "jobinfo.h"
#include "levelstyle.h"
#include "windowplacement.h"

using hrv::monitor::LevelStyle;
using hrv::monitor::levelStyle;

MainWindow::MainWindow(const MonitorConfig& config, std::unique_ptr<StatusSource> source, QWidget* parent)
    : QWidget(parent), config_(config), source_(std::move(source)), core_(config.variant) {
  // The form, with only its first tab reachable.
  ui = new Ui::MainWindow;
  ui->setupUi(this);
  ui->printer_help->setGeometry(config_.helpGeometry);
  ui->printer_state->setGeometry(config_.stateGeometry);
  ui->tabWidget->setTabEnabled(1, false);
  ui->tabWidget->setTabEnabled(2, false);
  ui->tabWidget->setStyleSheet(QStringLiteral("QTabBar::tab:disabled{width:0;color:transparent;}"));

  setWindowTitle(config_.windowTitle);

  // In the lower right corner of the desktop, wholly on it. A monitor
  // started before there is a screen is placed when the first one comes.
  setFixedSize(size());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    placeOn(screen);
  } else {
    auto* firstScreen = new QObject(this);
    connect(qApp, &QGuiApplication::primaryScreenChanged, firstScreen, [this, firstScreen](QScreen* s) {
      if (!s) return;
      placeOn(s);
      firstScreen->deleteLater();
    });
  }

  setWindowFlags(Qt::WindowStaysOnTopHint);
  setWindowFlags(Qt::WindowCloseButtonHint);
  setWindowFlags(Qt::WindowStaysOnTopHint);

  for (int i = 0; i <= 3; ++i) {
    const LevelStyle s = levelStyle(i);
    levelIcons.append({tr(s.toolTip), QIcon(QString::fromLatin1(s.trayIcon))});
  }
  levelMessageIcons = {
      {tr("Information"), QSystemTrayIcon::Information,
       style()->standardIcon(QStyle::SP_MessageBoxInformation)},
      {tr("Warning"), QSystemTrayIcon::Warning, style()->standardIcon(QStyle::SP_MessageBoxWarning)},
      {tr("Critical"), QSystemTrayIcon::Critical, style()->standardIcon(QStyle::SP_MessageBoxCritical)},
  };

  notifier_ = new DesktopNotifier(config_.windowTitle, this);
  createActions();
  createTrayIcon();
  connect(trayIcon_, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
  setIcon(1);

  waitForSystemTray();
  trayIcon_->setVisible(true);
  setVisible(true);

  pollTimer = new QTimer(this);
  pollTimer->setObjectName(QStringLiteral("pollTimer"));
  pollTimer->setInterval(config_.pollIntervalMs);
  closeTimer = new QTimer(this);
  closeTimer->setObjectName(QStringLiteral("closeTimer"));

  if (!config_.startBalloonTitle.isEmpty())
    triggerBubbleOn(hrv::monitor::kLevelInformation, config_.startBalloonTitle, config_.startBalloonMessage);
  showMessageOnWindow(hrv::monitor::kLevelInformation, config_.startTitle, config_.startMessage);

  connect(closeTimer, &QTimer::timeout, this, &MainWindow::windowClose);
  connect(pollTimer, &QTimer::timeout, this, &MainWindow::printerStateCheck);
  pollTimer->start();
  closeTimer->start();

  readPrintJobInfo();
  if (source_) source_->start(*this);
}

MainWindow::~MainWindow() {
  // The source may still refer to the window's children.
  source_.reset();
  delete ui;
}

void MainWindow::waitForSystemTray() {
  // Handle events in short slices so that a tray starting up meanwhile can
  // announce itself; stop as soon as it is there.
  for (int round = 0; round < config_.trayWaitRounds && !QSystemTrayIcon::isSystemTrayAvailable(); ++round) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < config_.trayWaitRoundMs && !QSystemTrayIcon::isSystemTrayAvailable()) {
      QEventLoop slice;
      QTimer::singleShot(hrv::kTrayWaitSliceMs, &slice, &QEventLoop::quit);
      slice.exec();
    }
  }
}

void MainWindow::placeOn(QScreen* screen) {
  move(hrv::monitor::windowPosition(screen->availableGeometry(), size()));
}

void MainWindow::createActions() {
  hideAction = new QAction(tr("最小化"), this);
  connect(hideAction, &QAction::triggered, this, &QWidget::hide);
  restoreAction = new QAction(tr("显示窗体"), this);
  connect(restoreAction, &QAction::triggered, this, &QWidget::showNormal);
  quitAction = new QAction(tr("退出"), this);
  connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
}

void MainWindow::createTrayIcon() {
  trayMenu = new QMenu(this);
  trayMenu->addAction(hideAction);
  trayMenu->addAction(restoreAction);
  trayMenu->addSeparator();
  trayMenu->addAction(quitAction);
  trayIcon_ = new QSystemTrayIcon(this);
  trayIcon_->setContextMenu(trayMenu);
}

void MainWindow::showMessageOnWindow(int level, const QString& title, const QString& message) {
  const LevelStyle s = levelStyle(level);
  if (s.known) {
    const bool critical = level == hrv::monitor::kLevelCritical;
    if (critical) {
      show();
      closeTimer->setInterval(s.closeIntervalMs);
      closeTimer->start();
      windowHidden_ = 0;
    }
    QPalette palette;
    palette.setColor(QPalette::WindowText, s.titleColour);
    ui->printer_state->setPalette(palette);
    triggerBubbleOn(level, title, message);
    if (!critical) {
      if (s.showsWindow) show();
      windowHidden_ = 0;
      closeTimer->setInterval(s.closeIntervalMs);
      closeTimer->start();
    }
  }
  // An empty name clears the picture.
  ui->printer_img->setPixmap(QPixmap(QString::fromLatin1(s.picture)));
  ui->printer_state->setText(title);
  ui->printer_help->setText(message);
}

void MainWindow::triggerBubbleOn(int level, const QString& title, const QString& message) {
  if (level == currentLevel_ && !config_.balloonOnEveryState) return;
  bubbleText_ = message;
  bubbleTitle_ = title;
  currentLevel_ = level;
  setIcon(level);
  showMessage();
}

void MainWindow::setIcon(int index) {
  if (index >= 0 && index < levelIcons.size()) {
    trayIcon_->setIcon(levelIcons[index].icon);
    trayIcon_->setToolTip(levelIcons[index].toolTip);
  } else {
    trayIcon_->setIcon(QIcon());
    trayIcon_->setToolTip(QString());
  }
}

QSystemTrayIcon::MessageIcon MainWindow::messageIconOf(int level) const {
  if (level >= 1 && level <= levelMessageIcons.size()) return levelMessageIcons[level - 1].messageIcon;
  return QSystemTrayIcon::NoIcon;
}

void MainWindow::raiseBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                              int msecs) {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    trayIcon_->showMessage(title, message, icon, msecs);
  } else if (msecs > hrv::kBalloonInfoMs) {
    // No tray (stock GNOME): the desktop's notifications instead. A balloon
    // that a tray would only flash is not worth a notification.
    notifier_->notify(static_cast<int>(icon), title, message, msecs);
  } else {
    return;
  }
  emit balloonShown(title, message, static_cast<int>(icon), msecs);
}

void MainWindow::showMessage() {
  raiseBalloon(bubbleTitle_, bubbleText_, messageIconOf(currentLevel_),
               hrv::monitor::balloonTimeMs(currentLevel_));
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      // A hint only: the current state's balloon texts stay as they are.
      raiseBalloon(QStringLiteral("提示"), QStringLiteral("请双击或右键打开主界面"),
                   messageIconOf(currentLevel_), hrv::kBalloonHintMs);
      break;
    case QSystemTrayIcon::MiddleClick:
      showMessage();
      break;
    case QSystemTrayIcon::DoubleClick:
      windowHidden_ = 0;
      userShown_ = 1;
      show();
      break;
    default:
      break;
  }
}

void MainWindow::bringToFront() {
  windowHidden_ = 0;
  userShown_ = 1;
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (trayIcon_->isVisible()) {
    hide();
    windowHidden_ = 1;
    userShown_ = 0;
    if (config_.balloonOnClose) showMessage();
    event->ignore();
  }
}

void MainWindow::windowClose() {
  if (windowHidden_ != 0) return;
  if (userShown_ == 0) close();
  windowHidden_ = 1;
}

void MainWindow::execReturnMsg(const QByteArray& reply) {
  core_.execReturnMsg(reply, *this);
}

void MainWindow::readPrintJobInfo() {
  const hrv::monitor::JobInfoTexts texts = hrv::monitor::readPrintJobInfo(config_.printerInfoPath);
  ui->printer_resolution->setText(texts.resolution);
  ui->printer_mediatype->setText(texts.mediaType);
  ui->printer_pagesize->setText(texts.pageSize);
  ui->printer_inputslot->setText(texts.inputSlot);
  ui->printer_duplex->setText(texts.duplex);
}

void MainWindow::printerStateCheck() {
  if (source_) source_->poll(*this);
}
