// The monitor window offscreen: form, start-up, visibility and timer rules,
// balloons and tray icon across levels, click handling, single instance.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "mainwindow.h"
#include "monitorconfig.h"
#include "singleinstance.h"
#include "ui_mainwindow.h"

namespace {

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// A balloon as the window announced it.
struct Balloon {
  QString title, message;
  int icon = -1, msecs = -1;
};
Balloon balloonAt(const QSignalSpy& spy, int i) {
  const QList<QVariant>& args = spy.at(i);
  return {args.at(0).toString(), args.at(1).toString(), args.at(2).toInt(), args.at(3).toInt()};
}

bool sameIcon(const QIcon& a, const QString& resource) {
  return a.pixmap(32).toImage() == QIcon(resource).pixmap(32).toImage();
}

class Window : public ::testing::Test {
 protected:
  QTemporaryDir dir;

  MonitorConfig config(MonitorConfig c = usbMonitorConfig()) {
    c.trayWaitRounds = 0;  // offscreen has no tray; do not wait 12 s for one
    c.printerInfoPath = dir.filePath(QStringLiteral("printerInfo"));
    return c;
  }
  std::unique_ptr<MainWindow> make(const MonitorConfig& c) {
    return std::make_unique<MainWindow>(c, nullptr);
  }
  std::unique_ptr<MainWindow> make() { return make(config()); }

  static QTimer* timer(MainWindow& w, const char* name) {
    return w.findChild<QTimer*>(QString::fromLatin1(name));
  }
  static QImage picture(MainWindow& w) { return w.form()->printer_img->pixmap(Qt::ReturnByValue).toImage(); }
  static bool showsPicture(MainWindow& w, const char* resource) {
    const QImage expected = QImage(QString::fromLatin1(resource)).convertToFormat(QImage::Format_RGB32);
    return !expected.isNull() && picture(w).convertToFormat(QImage::Format_RGB32) == expected;
  }
  static QColor titleColour(MainWindow& w, QPalette::ColorGroup group = QPalette::Active) {
    return w.form()->printer_state->palette().color(group, QPalette::WindowText);
  }
};

TEST_F(Window, StartsWithTheFormTheTrayAndTheFirstMessages) {
  auto w = make();
  Ui::MainWindow* f = w->form();

  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), u("HRV5720ZWB USB状态监控"));
  EXPECT_EQ(w->minimumSize(), QSize(520, 350));
  EXPECT_EQ(w->maximumSize(), QSize(520, 350));
  const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(w->pos(), QPoint(desk.width() - 10 - 260, desk.height() - 40 - 175));
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);

  // Only the first tab can be reached.
  ASSERT_EQ(f->tabWidget->count(), 3);
  EXPECT_EQ(f->tabWidget->tabText(0), u("当前状态"));
  EXPECT_EQ(f->tabWidget->tabText(1), u("碳粉量"));
  EXPECT_EQ(f->tabWidget->tabText(2), u("打印记录"));
  EXPECT_EQ(f->tabWidget->currentIndex(), 0);
  EXPECT_TRUE(f->tabWidget->isTabEnabled(0));
  EXPECT_FALSE(f->tabWidget->isTabEnabled(1));
  EXPECT_FALSE(f->tabWidget->isTabEnabled(2));
  EXPECT_EQ(f->tabWidget->styleSheet(), u("QTabBar::tab:disabled{width:0;color:transparent;}"));

  EXPECT_EQ(f->printer_state->text(), u("状态监视器启动"));
  EXPECT_EQ(f->printer_help->text(), u("状态监视器正在连接打印机，请稍后"));
  EXPECT_EQ(titleColour(*w), QColor(Qt::black));
  EXPECT_TRUE(showsPicture(*w, ":/W3_b256"));

  // No printerInfo yet: the defaults through the display tables.
  EXPECT_EQ(f->printer_resolution->text(), u("600dpi"));
  EXPECT_EQ(f->printer_pagesize->text(), u("A4"));
  EXPECT_EQ(f->printer_inputslot->text(), u("自动选择"));
  EXPECT_EQ(f->printer_mediatype->text(), u("普通纸"));
  EXPECT_EQ(f->printer_duplex->text(), u("无"));

  // The start-up balloon is the level 1 balloon; the first state did not replace it.
  EXPECT_EQ(w->currentLevel(), 1);
  EXPECT_EQ(w->bubbleTitle(), u("通知"));
  EXPECT_EQ(w->bubbleText(), u("HRV5720ZWB状态监控启动"));
  EXPECT_TRUE(w->trayIcon()->isVisible());
  EXPECT_EQ(w->trayIcon()->toolTip(), u("Ready"));
  EXPECT_TRUE(sameIcon(w->trayIcon()->icon(), QStringLiteral(":/images/heart.png")));

  QMenu* menu = w->trayIcon()->contextMenu();
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[0]->text(), u("最小化"));
  EXPECT_EQ(actions[1]->text(), u("显示窗体"));
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_EQ(actions[3]->text(), u("退出"));

  QTimer* poll = timer(*w, "pollTimer");
  QTimer* close = timer(*w, "closeTimer");
  ASSERT_TRUE(poll && close);
  EXPECT_TRUE(poll->isActive());
  EXPECT_EQ(poll->interval(), 4000);
  EXPECT_TRUE(close->isActive());
  EXPECT_EQ(close->interval(), 4000);
}

TEST_F(Window, PicturesOfTheResourceCollectionLoad) {
  for (const char* name : {":/W3_b256", ":/W3_y256", ":/W3_r256"}) {
    const QImage img(QString::fromLatin1(name));  // found without its extension
    EXPECT_EQ(img.size(), QSize(71, 71)) << name;
  }
  for (const char* name : {":/images/heart.png", ":/images/trash.png", ":/images/bad.png", ":/images/t_0.png",
                           ":/images/c100.png", ":/images/t_unknown.png", ":/images/y5.png",
                           ":/images/toner.png", ":/oemSetup.ico"})
    EXPECT_FALSE(QImage(QString::fromLatin1(name)).isNull()) << name;
}

TEST_F(Window, BothMonitorsBuildTheSameFormButForTwoLabelsAndTheTitle) {
  auto usb = make();
  auto net = make(config(networkMonitorConfig()));
  EXPECT_EQ(net->windowTitle(), u("HRV5720ZWB 网络状态监控"));

  const QList<QWidget*> a = usb->findChildren<QWidget*>();
  const QList<QWidget*> b = net->findChildren<QWidget*>();
  ASSERT_EQ(a.size(), b.size());
  int named = 0;
  for (int i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i]->objectName(), b[i]->objectName());
    const QString name = a[i]->objectName();
    if (name.isEmpty()) continue;
    ++named;
    const bool stateLabel = name == QLatin1String("printer_state") || name == QLatin1String("printer_help");
    if (auto* la = qobject_cast<QLabel*>(a[i]); la && !stateLabel) {
      EXPECT_EQ(la->text(), qobject_cast<QLabel*>(b[i])->text()) << qPrintable(name);
    }
    if (auto* pa = qobject_cast<QPushButton*>(a[i])) {
      EXPECT_EQ(pa->text(), qobject_cast<QPushButton*>(b[i])->text());
    }
    if (auto* ga = qobject_cast<QGroupBox*>(a[i])) {
      EXPECT_EQ(ga->title(), qobject_cast<QGroupBox*>(b[i])->title());
    }
    if (name == QLatin1String("printer_help")) {
      EXPECT_EQ(b[i]->geometry(), QRect(100, 80, 411, 61));
    } else if (name == QLatin1String("printer_state")) {
      EXPECT_EQ(b[i]->geometry(), QRect(100, 20, 411, 61));
    } else if (!a[i]->parentWidget()->layout()) {
      EXPECT_EQ(a[i]->geometry(), b[i]->geometry()) << qPrintable(name);
    }
  }
  EXPECT_GT(named, 40);

  // The network monitor has no start-up balloon of its own: its first state raised it.
  EXPECT_EQ(net->bubbleTitle(), u("网络状态监视器启动"));
  EXPECT_EQ(net->form()->printer_state->text(), u("网络状态监视器启动"));
  EXPECT_EQ(timer(*net, "pollTimer")->interval(), 3000);
}

TEST_F(Window, HidesItselfAtTheFirstCloseTimerTick) {
  auto w = make();
  ASSERT_TRUE(w->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 8000));
  EXPECT_EQ(w->windowHidden(), 1);
  EXPECT_EQ(w->userShown(), 0);
}

TEST_F(Window, VisibilityFollowsLevelsTicksClicksAndClosing) {
  auto w = make();
  QTimer* close = timer(*w, "closeTimer");

  w->windowClose();  // a tick hides the window to the tray
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 1);

  w->showMessageOnWindow(1, u("t1"), u("m1"));  // information does not bring it back
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 0);
  EXPECT_EQ(w->form()->printer_state->text(), u("t1"));
  w->windowClose();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 1);
  w->windowClose();  // ticks after the hide change nothing
  EXPECT_EQ(w->windowHidden(), 1);

  w->showMessageOnWindow(2, u("t2"), u("m2"));  // a warning shows it for 4 s
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 0);
  EXPECT_EQ(close->interval(), 4000);
  EXPECT_TRUE(close->isActive());
  w->windowClose();
  EXPECT_FALSE(w->isVisible());

  w->showMessageOnWindow(3, u("t3"), u("m3"));  // an error for 10 min
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(close->interval(), 600000);
  EXPECT_TRUE(close->isActive());

  // Opened by double click: the ticks leave it open, also after a new warning.
  w->iconActivated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(w->userShown(), 1);
  w->windowClose();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 1);
  w->showMessageOnWindow(2, u("t4"), u("m4"));
  EXPECT_EQ(close->interval(), 4000);
  w->windowClose();
  EXPECT_TRUE(w->isVisible());

  // Closing hides; the user's opening is forgotten.
  EXPECT_FALSE(w->close());  // the close event is turned into hiding
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 1);
  EXPECT_EQ(w->userShown(), 0);

  // A double click while hidden brings it back.
  w->iconActivated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 0);

  // The menu hides and shows without touching the flags.
  QList<QAction*> actions = w->trayIcon()->contextMenu()->actions();
  actions[0]->trigger();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 0);
  actions[1]->trigger();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->userShown(), 1);

  // A level outside 1..3 only replaces the texts and clears the picture.
  actions[0]->trigger();
  w->windowClose();
  const QColor before = titleColour(*w);
  w->showMessageOnWindow(0, u("t0"), u("m0"));
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 1);
  EXPECT_EQ(close->interval(), 4000);
  EXPECT_EQ(titleColour(*w), before);
  EXPECT_EQ(w->form()->printer_state->text(), u("t0"));
  EXPECT_EQ(w->form()->printer_help->text(), u("m0"));
  EXPECT_TRUE(picture(*w).isNull());
}

TEST_F(Window, BalloonTrayIconAndColoursChangeOnlyWithTheLevel) {
  auto w = make();
  QSignalSpy balloons(w.get(), &MainWindow::balloonShown);

  w->showMessageOnWindow(3, u("A"), u("a"));
  ASSERT_EQ(balloons.count(), 1);
  Balloon b = balloonAt(balloons, 0);
  EXPECT_EQ(b.title, u("A"));
  EXPECT_EQ(b.message, u("a"));
  EXPECT_EQ(b.icon, QSystemTrayIcon::Critical);
  EXPECT_EQ(b.msecs, 120000);
  EXPECT_EQ(w->trayIcon()->toolTip(), u("Error"));
  EXPECT_TRUE(sameIcon(w->trayIcon()->icon(), QStringLiteral(":/images/bad.png")));
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    EXPECT_EQ(titleColour(*w, group), QColor(Qt::red));
  EXPECT_TRUE(showsPicture(*w, ":/W3_r256"));

  // Same level, new texts: the window changes, the balloon state does not.
  w->showMessageOnWindow(3, u("B"), u("b"));
  EXPECT_EQ(balloons.count(), 1);
  EXPECT_EQ(w->form()->printer_state->text(), u("B"));
  EXPECT_EQ(w->form()->printer_help->text(), u("b"));
  EXPECT_EQ(w->bubbleTitle(), u("A"));
  EXPECT_EQ(w->bubbleText(), u("a"));

  w->showMessageOnWindow(2, u("C"), u("c"));
  ASSERT_EQ(balloons.count(), 2);
  b = balloonAt(balloons, 1);
  EXPECT_EQ(b.icon, QSystemTrayIcon::Warning);
  EXPECT_EQ(b.msecs, 60000);
  EXPECT_EQ(w->trayIcon()->toolTip(), u("Stop"));
  EXPECT_TRUE(sameIcon(w->trayIcon()->icon(), QStringLiteral(":/images/trash.png")));
  EXPECT_EQ(titleColour(*w), QColor(Qt::darkYellow));
  EXPECT_TRUE(showsPicture(*w, ":/W3_y256"));

  // Back to information: heart, "Ready", a balloon only flashed (1 ms).
  w->showMessageOnWindow(1, u("D"), u("d"));
  ASSERT_EQ(balloons.count(), 3);
  b = balloonAt(balloons, 2);
  EXPECT_EQ(b.title, u("D"));
  EXPECT_EQ(b.icon, QSystemTrayIcon::Information);
  EXPECT_EQ(b.msecs, 1);
  EXPECT_EQ(w->trayIcon()->toolTip(), u("Ready"));
  EXPECT_TRUE(sameIcon(w->trayIcon()->icon(), QStringLiteral(":/images/heart.png")));
  EXPECT_EQ(titleColour(*w), QColor(Qt::black));

  // The network monitor raises a balloon for every state.
  auto net = make(config(networkMonitorConfig()));
  QSignalSpy netBalloons(net.get(), &MainWindow::balloonShown);
  net->showMessageOnWindow(3, u("A"), u("a"));
  net->showMessageOnWindow(3, u("B"), u("b"));
  ASSERT_EQ(netBalloons.count(), 2);
  EXPECT_EQ(balloonAt(netBalloons, 1).title, u("B"));
  EXPECT_EQ(net->bubbleText(), u("b"));
  // ... and raises the current one again when its window is closed; the USB monitor does not.
  net->close();
  ASSERT_EQ(netBalloons.count(), 3);
  EXPECT_EQ(balloonAt(netBalloons, 2).message, u("b"));
  w->close();
  EXPECT_EQ(balloons.count(), 3);
}

TEST_F(Window, SingleClickShowsAHintAndKeepsTheBalloonTexts) {
  auto w = make();
  w->showMessageOnWindow(3, u("盖子未合上"), u("打开前盖板后，重新关闭前盖板"));
  QSignalSpy balloons(w.get(), &MainWindow::balloonShown);

  w->iconActivated(QSystemTrayIcon::Trigger);
  ASSERT_EQ(balloons.count(), 1);
  Balloon hint = balloonAt(balloons, 0);
  EXPECT_EQ(hint.title, u("提示"));
  EXPECT_EQ(hint.message, u("请双击或右键打开主界面"));
  EXPECT_EQ(hint.icon, QSystemTrayIcon::Critical);
  EXPECT_EQ(hint.msecs, 5000);
  EXPECT_EQ(w->bubbleTitle(), u("盖子未合上"));
  EXPECT_EQ(w->bubbleText(), u("打开前盖板后，重新关闭前盖板"));

  // A middle click brings back the current state's balloon.
  w->iconActivated(QSystemTrayIcon::MiddleClick);
  ASSERT_EQ(balloons.count(), 2);
  Balloon again = balloonAt(balloons, 1);
  EXPECT_EQ(again.title, u("盖子未合上"));
  EXPECT_EQ(again.message, u("打开前盖板后，重新关闭前盖板"));
  EXPECT_EQ(again.msecs, 120000);

  // The context menu click is the tray's own business.
  w->iconActivated(QSystemTrayIcon::Context);
  EXPECT_EQ(balloons.count(), 2);
}

TEST_F(Window, JobSettingsGoToTheirOwnLabels) {
  QFile info(dir.filePath(QStringLiteral("printerInfo")));
  ASSERT_TRUE(info.open(QIODevice::WriteOnly));
  info.write(
      "resolution:2400dpi;\npapersize:A5L;\ninputslot:MPTRAY;\nmediatype:ENVTHICK;\nduplex:DuplexNoTumble;"
      "\n");
  info.close();
  auto w = make();
  Ui::MainWindow* f = w->form();
  EXPECT_EQ(f->printer_resolution->text(), u("HQ1200dpi"));
  EXPECT_EQ(f->printer_pagesize->text(), u("A5长边"));
  EXPECT_EQ(f->printer_inputslot->text(), u("多功能纸盒"));
  EXPECT_EQ(f->printer_mediatype->text(), u("厚信封"));
  EXPECT_EQ(f->printer_duplex->text(), u("长边翻转"));
}

TEST(SingleInstanceLock, SecondHolderSeesTheFirstAndAStaleLockDoesNotBlock) {
  QTemporaryDir runtime;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  const QString program = QStringLiteral("/usr/bin/true");
  const QString other = QStringLiteral("/usr/bin/false");

  {
    SingleInstance first(program);
    EXPECT_FALSE(first.isRunning());
    EXPECT_TRUE(first.lockFilePath().startsWith(runtime.path()));
    SingleInstance second(program);
    EXPECT_TRUE(second.isRunning());
    SingleInstance otherProgram(other);  // another program has its own lock
    EXPECT_FALSE(otherProgram.isRunning());
  }
  SingleInstance afterExit(program);
  EXPECT_FALSE(afterExit.isRunning());

  // A holder that died without unlocking.
  const QString lockPath = SingleInstance::lockFilePathFor(other);
  const pid_t child = fork();
  if (child == 0) {
    QLockFile lock(lockPath);
    _exit(lock.tryLock(0) ? 0 : 1);  // no destructor: the file stays
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(QFile::exists(lockPath));
  SingleInstance afterCrash(other);
  EXPECT_FALSE(afterCrash.isRunning());

  qputenv("XDG_RUNTIME_DIR", saved);
}

}  // namespace
