// The monitor window offscreen: form, start-up, visibility and timer rules,
// balloons and tray icon across levels, click handling, long texts, single
// instance.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
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
#include "statuscatalogue.h"
#include "ui_mainwindow.h"

namespace {

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

struct Balloon {
  QString title, message;
  int icon, msecs;
};
Balloon balloonAt(const QSignalSpy& spy, int i) {
  const QList<QVariant>& a = spy.at(i);
  return {a.at(0).toString(), a.at(1).toString(), a.at(2).toInt(), a.at(3).toInt()};
}

bool sameIcon(const QIcon& a, const char* resource) {
  return a.pixmap(32).toImage() == QIcon(QString::fromLatin1(resource)).pixmap(32).toImage();
}

class Window : public ::testing::Test {
 protected:
  QTemporaryDir dir;

  std::unique_ptr<MainWindow> make(MonitorConfig c = usbMonitorConfig()) {
    c.trayWaitRounds = 0;  // offscreen has no tray; do not wait 12 s for one
    c.printerInfoPath = dir.filePath(QStringLiteral("printerInfo"));
    return std::make_unique<MainWindow>(c, nullptr);
  }
  static QTimer* timer(MainWindow& w, const char* name) { return w.findChild<QTimer*>(QLatin1String(name)); }
  static bool showsPicture(MainWindow& w, const char* resource) {
    const QImage want = QImage(QString::fromLatin1(resource)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = w.form()->printer_img->pixmap(Qt::ReturnByValue).toImage();
    return !want.isNull() && shown.convertToFormat(QImage::Format_RGB32) == want;
  }
  static QColor titleColour(MainWindow& w, QPalette::ColorGroup group = QPalette::Active) {
    return w.form()->printer_state->palette().color(group, QPalette::WindowText);
  }
};

TEST_F(Window, StartsWhollyOnTheDesktopWithTheFirstMessages) {
  QFile info(dir.filePath(QStringLiteral("printerInfo")));
  ASSERT_TRUE(info.open(QIODevice::WriteOnly));
  info.write(
      "resolution:2400dpi;\npapersize:A5L;\ninputslot:TRAY4;\nmediatype:ENVTHICK;\nduplex:DuplexNoTumble;\n");
  info.close();
  auto w = make();
  Ui::MainWindow* f = w->form();

  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), u("HRV5720ZWB USB状态监控"));
  EXPECT_EQ(w->minimumSize(), QSize(520, 350));
  EXPECT_EQ(w->maximumSize(), QSize(520, 350));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(w->frameGeometry()));
  EXPECT_EQ(w->windowFlags() & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);
  EXPECT_EQ(f->tabWidget->currentIndex(), 0);
  EXPECT_FALSE(f->tabWidget->isTabEnabled(1) || f->tabWidget->isTabEnabled(2));

  EXPECT_EQ(f->printer_state->text(), u("状态监视器启动"));
  EXPECT_EQ(f->printer_help->text(), u("状态监视器正在连接打印机，请稍后"));
  EXPECT_TRUE(showsPicture(*w, ":/W3_b256"));
  const QStringList labels{f->printer_resolution->text(), f->printer_pagesize->text(),
                           f->printer_inputslot->text(), f->printer_mediatype->text(),
                           f->printer_duplex->text()};
  EXPECT_EQ(labels.join(QLatin1Char('|')), u("HQ1200dpi|A5长边|纸盒4|厚信封|长边翻转"));

  // The start-up balloon is the level 1 balloon; the first state did not replace it.
  EXPECT_EQ(w->currentLevel(), 1);
  EXPECT_EQ(w->bubbleTitle(), u("通知"));
  EXPECT_EQ(w->bubbleText(), u("HRV5720ZWB状态监控启动"));
  EXPECT_EQ(w->trayIcon()->toolTip(), u("Ready"));

  QStringList menu;
  for (QAction* a : w->trayIcon()->contextMenu()->actions()) menu << a->text();
  EXPECT_EQ(menu.join(QLatin1Char('|')), u("最小化|显示窗体||退出"));
  EXPECT_EQ(timer(*w, "pollTimer")->interval(), 4000);
  EXPECT_EQ(timer(*w, "closeTimer")->interval(), 4000);
  EXPECT_TRUE(timer(*w, "pollTimer")->isActive() && timer(*w, "closeTimer")->isActive());

  // The network monitor: its own title, texts, interval and label places.
  auto net = make(networkMonitorConfig());
  EXPECT_EQ(net->windowTitle(), u("HRV5720ZWB 网络状态监控"));
  EXPECT_EQ(net->bubbleTitle(), u("网络状态监视器启动"));  // no start-up balloon of its own
  EXPECT_EQ(timer(*net, "pollTimer")->interval(), 3000);
  EXPECT_EQ(net->form()->printer_help->geometry(), QRect(100, 80, 411, 61));
  EXPECT_EQ(net->form()->printer_state->geometry(), QRect(100, 20, 411, 61));
  EXPECT_EQ(net->findChildren<QWidget*>().size(), w->findChildren<QWidget*>().size());
}

TEST_F(Window, EveryCatalogueTextFitsItsLabel) {
  for (MonitorConfig config : {usbMonitorConfig(), networkMonitorConfig()}) {
    auto w = make(config);
    for (const hrv::monitor::StatusEntry& e : hrv::monitor::statusCatalogue(config.variant)) {
      w->showMessageOnWindow(0, e.title, e.message);
      for (QLabel* label : {w->form()->printer_state, w->form()->printer_help}) {
        // What the label needs for its text, drawn as it draws it.
        const QRect room = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
        const QRect need = label->fontMetrics().boundingRect(
            QRect(room.topLeft(), QSize(room.width(), 10000)), flags, label->text());
        EXPECT_TRUE(need.width() <= room.width() && need.height() <= room.height())
            << e.code << " " << qPrintable(label->objectName()) << " needs " << need.width() << "x"
            << need.height();
      }
    }
  }
}

TEST_F(Window, VisibilityFollowsLevelsTicksClicksAndClosing) {
  auto w = make();
  QTimer* close = timer(*w, "closeTimer");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 8000));  // the first tick hides it
  EXPECT_EQ(w->windowHidden(), 1);

  w->showMessageOnWindow(1, u("t1"), u("m1"));  // information does not bring it back
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowHidden(), 0);
  w->windowClose();
  EXPECT_EQ(w->windowHidden(), 1);

  w->showMessageOnWindow(2, u("t2"), u("m2"));  // a warning shows it for 4 s
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(close->interval(), 4000);
  w->windowClose();
  EXPECT_FALSE(w->isVisible());

  w->showMessageOnWindow(3, u("t3"), u("m3"));  // an error for 10 min
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(close->interval(), 600000);

  // Opened by double click: the ticks leave it open.
  w->iconActivated(QSystemTrayIcon::DoubleClick);
  w->windowClose();
  w->showMessageOnWindow(2, u("t4"), u("m4"));
  w->windowClose();
  EXPECT_TRUE(w->isVisible());

  // Closing hides; the user's opening is forgotten.
  EXPECT_FALSE(w->close());
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->userShown(), 0);

  // Another start of the program brings it back like a double click.
  w->bringToFront();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->userShown(), 1);
  w->windowClose();
  EXPECT_TRUE(w->isVisible());

  // A level outside 1..3 only replaces the texts and clears the picture.
  QList<QAction*> actions = w->trayIcon()->contextMenu()->actions();
  actions[0]->trigger();
  const QColor before = titleColour(*w);
  w->showMessageOnWindow(0, u("t0"), u("m0"));
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(titleColour(*w), before);
  EXPECT_EQ(w->form()->printer_help->text(), u("m0"));
  EXPECT_TRUE(w->form()->printer_img->pixmap(Qt::ReturnByValue).isNull());
}

TEST_F(Window, BalloonTrayIconAndColoursChangeOnlyWithTheLevel) {
  // Offscreen there is no tray: the balloons go to the notification
  // service, except the flashed ones of level 1.
  auto w = make();
  QSignalSpy balloons(w.get(), &MainWindow::balloonShown);
  const struct {
    int level;
    const char *title, *icon;
    Qt::GlobalColor colour;
    const char *picture, *toolTip;
    int balloonIcon, msecs;  // -1: no new balloon
  } steps[] = {
      {3, "A", ":/images/bad.png", Qt::red, ":/W3_r256", "Error", QSystemTrayIcon::Critical, 120000},
      {3, "B", ":/images/bad.png", Qt::red, ":/W3_r256", "Error", -1, -1},
      {2, "C", ":/images/trash.png", Qt::darkYellow, ":/W3_y256", "Stop", QSystemTrayIcon::Warning, 60000},
      {1, "D", ":/images/heart.png", Qt::black, ":/W3_b256", "Ready", -1, -1},
  };
  for (const auto& s : steps) {
    const int before = balloons.count();
    w->showMessageOnWindow(s.level, u(s.title), u(s.title).toLower());
    EXPECT_EQ(w->form()->printer_state->text(), u(s.title));
    EXPECT_TRUE(sameIcon(w->trayIcon()->icon(), s.icon)) << s.title;
    EXPECT_EQ(w->trayIcon()->toolTip(), u(s.toolTip));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
      EXPECT_EQ(titleColour(*w, group), QColor(s.colour)) << s.title;
    EXPECT_TRUE(showsPicture(*w, s.picture)) << s.title;
    ASSERT_EQ(balloons.count(), before + (s.msecs > 0 ? 1 : 0)) << s.title;
    if (s.msecs > 0) {
      const Balloon b = balloonAt(balloons, before);
      EXPECT_EQ(b.title, u(s.title));
      EXPECT_EQ(b.icon, s.balloonIcon);
      EXPECT_EQ(b.msecs, s.msecs);
    }
  }
  EXPECT_EQ(w->bubbleTitle(), u("D"));  // level 1 balloon, only flashed

  // A single click hints and keeps the balloon texts; a middle click repeats them.
  w->showMessageOnWindow(3, u("E"), u("e"));
  balloons.clear();
  w->iconActivated(QSystemTrayIcon::Trigger);
  w->iconActivated(QSystemTrayIcon::MiddleClick);
  ASSERT_EQ(balloons.count(), 2);
  EXPECT_EQ(balloonAt(balloons, 0).message, u("请双击或右键打开主界面"));
  EXPECT_EQ(balloonAt(balloons, 0).msecs, 5000);
  EXPECT_EQ(balloonAt(balloons, 1).title, u("E"));

  // The network monitor raises a balloon for every state, and again when closed.
  auto net = make(networkMonitorConfig());
  QSignalSpy netBalloons(net.get(), &MainWindow::balloonShown);
  net->showMessageOnWindow(3, u("A"), u("a"));
  net->showMessageOnWindow(3, u("B"), u("b"));
  net->close();
  ASSERT_EQ(netBalloons.count(), 3);
  EXPECT_EQ(balloonAt(netBalloons, 2).title, u("B"));
}

TEST(SingleInstanceLock, SecondStartsAskTheFirstAndStaleLocksDoNotBlock) {
  QTemporaryDir runtime;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  const QString program = QStringLiteral("/usr/bin/true"), other = QStringLiteral("/usr/bin/false");
  {
    SingleInstance first(program);
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    EXPECT_FALSE(first.isRunning());
    SingleInstance second(program);
    EXPECT_TRUE(second.isRunning());
    EXPECT_TRUE(second.activateRunning());
    EXPECT_TRUE(asked.wait(5000));
    EXPECT_FALSE(SingleInstance(other).isRunning());  // another program has its own lock
  }
  EXPECT_FALSE(SingleInstance(program).isRunning());

  // A holder that died without unlocking (and left its socket).
  const QString lockPath = SingleInstance::lockFilePathFor(other);
  const pid_t child = fork();
  if (child == 0) {
    SingleInstance crashing(other);
    _exit(crashing.isRunning() ? 1 : 0);  // no destructor: lock and socket stay
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(QFile::exists(lockPath));
  SingleInstance afterCrash(other);
  EXPECT_FALSE(afterCrash.isRunning());
  QSignalSpy asked(&afterCrash, &SingleInstance::activationRequested);
  EXPECT_TRUE(SingleInstance(other).activateRunning());
  EXPECT_TRUE(asked.wait(5000));
  qputenv("XDG_RUNTIME_DIR", saved);
}

}  // namespace
