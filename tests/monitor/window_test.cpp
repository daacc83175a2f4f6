// The monitor window offscreen: start-up, what each level does to the
// window, the tray icon and the balloon, when the window shows and hides,
// long texts, a second start.
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "mainwindow.h"
#include "monitorconfig.h"
#include "singleinstance.h"
#include "statuscatalogue.h"
#include "ui_mainwindow.h"

namespace {

// No session bus: without a tray the balloons go nowhere.
const bool kNoSessionBus = qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The name of the first of `pictures` that `icon` shows, or "none".
QString which(const QIcon& icon, const QStringList& pictures) {
  for (const QString& p : pictures)
    if (!icon.isNull() && icon.pixmap(32).toImage() == QIcon(p).pixmap(32).toImage())
      return p.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
  return QStringLiteral("none");
}

class Window : public ::testing::Test {
 protected:
  QTemporaryDir dir;

  std::unique_ptr<MainWindow> make(MonitorConfig c = usbMonitorConfig()) {
    c.trayWaitRounds = 0;  // offscreen has no tray; do not wait 12 s for one
    c.printerInfoPath = dir.filePath(QStringLiteral("printerInfo"));
    auto w = std::make_unique<MainWindow>(c, nullptr);
    // Offscreen there is no tray: the balloons go to the notification
    // service, except the flashed ones of level 1.
    QObject::connect(w.get(), &MainWindow::balloonShown, w.get(),
                     [this](QString t, QString m, int i, int ms) {
                       balloons += QStringLiteral(", %1 %2 %3 %4").arg(t, m).arg(i).arg(ms);
                     });
    return w;
  }
  static QTimer* timer(MainWindow& w, const char* name) { return w.findChild<QTimer*>(QLatin1String(name)); }

  // 0..3 a state of that level (titled S1, S2, ...), t a tick of the close timer, k a click on the
  // tray icon, p a middle click, d a double click, c closing, s another start, m the menu's first entry.
  void act(MainWindow& w, const char* acts) {
    for (const char* a = acts; *a; ++a) {
      if (*a >= '0' && *a <= '3')
        w.showMessageOnWindow(*a - '0', QStringLiteral("S%1").arg(++states), u("m"));
      if (*a == 't') w.windowClose();
      if (*a == 'k' || *a == 'p' || *a == 'd')
        w.iconActivated(*a == 'k'   ? QSystemTrayIcon::Trigger
                        : *a == 'p' ? QSystemTrayIcon::MiddleClick
                                    : QSystemTrayIcon::DoubleClick);
      if (*a == 'c') w.close();
      if (*a == 's') w.bringToFront();
      if (*a == 'm') w.trayIcon()->contextMenu()->actions().at(0)->trigger();
    }
  }
  int states = 0;
  QString balloons;  // since the last look
  // The window's visibility, its close timer, the title with its colour in every colour group,
  // picture, tray icon and tool tip, the balloons.
  QString look(MainWindow& w) {
    QStringList colours;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
      colours << w.form()->printer_state->palette().color(group, QPalette::WindowText).name();
    colours.removeDuplicates();
    const QString seen = QStringLiteral("%1 %2 %3 %4 ")
                             .arg(QLatin1String(w.isVisible() ? "shown" : "hidden"))
                             .arg(w.windowHidden())
                             .arg(w.userShown())
                             .arg(timer(w, "closeTimer")->interval()) +
                         QStringList{w.form()->printer_state->text(), colours.join(QLatin1Char('|')),
                                     which(QIcon(w.form()->printer_img->pixmap(Qt::ReturnByValue)),
                                           {":/W3_b256", ":/W3_y256", ":/W3_r256"}),
                                     which(w.trayIcon()->icon(),
                                           {":/images/heart.png", ":/images/trash.png", ":/images/bad.png"}),
                                     w.trayIcon()->toolTip()}
                             .join(QLatin1Char(' ')) +
                         balloons;
    balloons.clear();
    return seen;
  }
};

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

TEST_F(Window, ShowsEachStateByItsLevelAndHidesByTickClickAndClose) {
  QFile info(dir.filePath(QStringLiteral("printerInfo")));
  ASSERT_TRUE(info.open(QIODevice::WriteOnly) && info.write("inputslot:TRAY4;\n") > 0);
  info.close();
  auto w = make(), net = make(networkMonitorConfig());
  const QTabWidget* tabs = w->form()->tabWidget;
  EXPECT_TRUE(w->isVisible() && tabs->isTabEnabled(0) && !tabs->isTabEnabled(1) && !tabs->isTabEnabled(2));
  EXPECT_EQ(w->form()->printer_inputslot->text(), u("纸盒4"));  // the last job's settings
  EXPECT_EQ(w->bubbleTitle(), u("通知"));  // the start-up balloon; the first state has the same level
  EXPECT_EQ(QStringLiteral("%1 %2")
                .arg(timer(*w, "pollTimer")->interval())
                .arg(timer(*net, "pollTimer")->interval()),
            QLatin1String("4000 3000"));
  ASSERT_TRUE(timer(*w, "pollTimer")->isActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 8000)) << "the first tick hides it";
  look(*w), look(*net);
  const struct {
    const char *what, *acts;
    const char*
        seen;  // window, windowHidden, userShown, close timer; title, colour, picture, tray icon, balloons
  } steps[] = {
      {"information does not bring it back", "1", "hidden 0 0 4000 S1 #000000 W3_b256 heart Ready"},
      {"a tick hides it for good", "t", "hidden 1 0 4000 S1 #000000 W3_b256 heart Ready"},
      {"a warning shows it for 4 s", "2", "shown 0 0 4000 S2 #808000 W3_y256 trash Stop, S2 m 2 60000"},
      {"... then a tick hides it", "t", "hidden 1 0 4000 S2 #808000 W3_y256 trash Stop"},
      {"an error shows it for 10 min", "3", "shown 0 0 600000 S3 #ff0000 W3_r256 bad Error, S3 m 3 120000"},
      {"another error: its texts, the same balloon", "3", "shown 0 0 600000 S4 #ff0000 W3_r256 bad Error"},
      {"a click hints, a middle click repeats the balloon", "kp",
       "shown 0 0 600000 S4 #ff0000 W3_r256 bad Error, 提示 请双击或右键打开主界面 3 5000, S3 m 3 120000"},
      {"opened by double click", "d", "shown 0 1 600000 S4 #ff0000 W3_r256 bad Error"},
      {"the ticks leave it open", "t", "shown 1 1 600000 S4 #ff0000 W3_r256 bad Error"},
      {"... after a warning too", "2t", "shown 1 1 4000 S5 #808000 W3_y256 trash Stop, S5 m 2 60000"},
      {"closing hides it, the user's opening forgotten", "c",
       "hidden 1 0 4000 S5 #808000 W3_y256 trash Stop"},
      {"another start of the program opens it like a double click", "st",
       "shown 1 1 4000 S5 #808000 W3_y256 trash Stop"},
      {"the menu's first entry hides it", "m", "hidden 1 1 4000 S5 #808000 W3_y256 trash Stop"},
      {"information: its balloon only flashed", "1", "hidden 0 1 4000 S6 #000000 W3_b256 heart Ready"},
      {"a level outside 1..3: the texts only", "0", "hidden 0 1 4000 S7 #000000 none heart Ready"},
  };
  for (const auto& s : steps) {
    act(*w, s.acts);
    EXPECT_EQ(look(*w), QString::fromUtf8(s.seen)) << s.what;
  }
  // The network monitor raises a balloon for every state, and again when closed.
  act(*net, "33c");
  EXPECT_EQ(
      look(*net),
      QLatin1String(
          "hidden 1 0 600000 S9 #ff0000 W3_r256 bad Error, S8 m 3 120000, S9 m 3 120000, S9 m 3 120000"));
}

TEST(SingleInstance, ASecondStartAsksTheFirstAndAStaleLockDoesNotBlock) {
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  const QString usb = QStringLiteral("/usr/bin/true"), net = QStringLiteral("/usr/bin/false");
  const pid_t child = fork();
  if (child == 0) {
    SingleInstance crashing(net);
    _exit(crashing.isRunning() ? 1 : 0);  // no destructor: its lock and socket stay
  }
  int status = 0;
  ASSERT_TRUE(waitpid(child, &status, 0) == child && WEXITSTATUS(status) == 0);
  // Both programs at once, each with a lock of its own; the second's left by a dead holder.
  SingleInstance usbFirst(usb), netFirst(net);
  for (const auto& [program, first] : {std::pair{usb, &usbFirst}, {net, &netFirst}}) {
    QSignalSpy asked(first, &SingleInstance::activationRequested);
    EXPECT_FALSE(first->isRunning()) << qPrintable(program);
    EXPECT_TRUE(SingleInstance(program).isRunning() && SingleInstance(program).activateRunning());
    EXPECT_TRUE(asked.wait(5000)) << qPrintable(program);
  }
}

}  // namespace
