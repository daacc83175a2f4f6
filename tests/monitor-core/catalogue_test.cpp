#include <gtest/gtest.h>

#include <QRegularExpression>
#include <map>
#include <set>

#include "levelstyle.h"
#include "statuscatalogue.h"

using namespace hrv::monitor;

namespace {

QByteArray titleOf(int code, MonitorVariant v = MonitorVariant::Usb) {
  const StatusEntry* e = findStatusEntry(code, v);
  return e ? e->title.toUtf8() : QByteArray("<none>");
}
QByteArray messageOf(int code, MonitorVariant v = MonitorVariant::Usb) {
  const StatusEntry* e = findStatusEntry(code, v);
  return e ? e->message.toUtf8() : QByteArray("<none>");
}
int levelOf(int code) {
  const StatusEntry* e = findStatusEntry(code);
  return e ? e->level : -1;
}

const std::set<int> kSuffixes = {2,  4,  5,  13, 15, 17, 19, 26, 28, 31, 32, 34, 35,
                                 36, 64, 65, 66, 67, 68, 69, 71, 72, 73, 74, 80};
const std::map<int, int> kFamilyLevels = {{112, 2}, {113, 2}, {114, 2}, {115, 2}, {410, 3},
                                          {412, 3}, {413, 3}, {414, 3}, {415, 3}, {419, 3}};

}  // namespace

TEST(Catalogue, SizeUniquenessAndLevels) {
  for (MonitorVariant v : {MonitorVariant::Usb, MonitorVariant::Network}) {
    const auto& all = statusCatalogue(v);
    ASSERT_EQ(all.size(), 336u);
    std::set<int> codes;
    std::map<int, int> perLevel;
    for (const StatusEntry& e : all) {
      EXPECT_TRUE(codes.insert(e.code).second) << e.code;
      EXPECT_FALSE(e.title.isEmpty()) << e.code;
      ++perLevel[e.level];
      EXPECT_EQ(findStatusEntry(e.code, v), &e);
    }
    // 5 information; 20 part-life warnings + 100 tray paper sizes; the rest critical.
    EXPECT_EQ(perLevel, (std::map<int, int>{{1, 5}, {2, 120}, {3, 211}}));
  }
}

TEST(Catalogue, PaperSizeFamiliesAreComplete) {
  std::map<int, int> perFamily;
  int paperEntries = 0;
  for (const StatusEntry& e : statusCatalogue()) {
    const int family = e.code / 100, suffix = e.code % 100;
    if (!kFamilyLevels.count(family)) continue;
    ++paperEntries;
    ++perFamily[family];
    EXPECT_TRUE(kSuffixes.count(suffix)) << e.code;
    EXPECT_EQ(e.level, kFamilyLevels.at(family)) << e.code;
    EXPECT_EQ(e.message.toUtf8(), QByteArray("请加纸")) << e.code;
    EXPECT_TRUE(e.title.endsWith(QStringLiteral("尺寸纸张"))) << e.code;
  }
  EXPECT_EQ(paperEntries, 250);
  for (const auto& f : kFamilyLevels) EXPECT_EQ(perFamily[f.first], 25) << f.first;

  // The tray digit appears where the family names it, every time.
  const QRegularExpression trayTitle(QStringLiteral("^纸盒([1-4])无.+尺寸纸张$"));
  const QRegularExpression onlyTitle(QStringLiteral("^纸盒用途为仅纸盒([1-4])时,纸盒\\1无.+尺寸纸张$"));
  for (int suffix : kSuffixes) {
    for (int tray = 1; tray <= 4; ++tray) {
      const auto m1 = trayTitle.match(QString::fromUtf8(titleOf((111 + tray) * 100 + suffix)));
      ASSERT_TRUE(m1.hasMatch()) << suffix;
      EXPECT_EQ(m1.captured(1).toInt(), tray);
      const auto m2 = onlyTitle.match(QString::fromUtf8(titleOf((411 + tray) * 100 + suffix)));
      ASSERT_TRUE(m2.hasMatch()) << suffix;
      EXPECT_EQ(m2.captured(1).toInt(), tray);
    }
  }
  for (int notACode : {11201, 11203, 11281, 41981, 41102, 41602, 11602, 10002, 0})
    EXPECT_EQ(findStatusEntry(notACode), nullptr) << notACode;
}

TEST(Catalogue, PaperSizeTitlesByteForByte) {
  EXPECT_EQ(titleOf(11213), QByteArray("纸盒1无A4尺寸纸张"));
  EXPECT_EQ(titleOf(11319), QByteArray("纸盒2无B5或JIS B5尺寸纸张"));
  EXPECT_EQ(titleOf(41536), QByteArray("纸盒用途为仅纸盒4时,纸盒4无自定义尺寸纸张"));
  EXPECT_EQ(titleOf(41972), QByteArray("纸盒用途为自动选择时,所有进纸槽无Envelope You #4尺寸纸张"));
  EXPECT_EQ(titleOf(41080), QByteArray("多功能进纸板无A5 L尺寸纸张"));
  // multiplication sign U+00D7, ASCII comma
  EXPECT_EQ(titleOf(11471), QByteArray("\xE7\xBA\xB8\xE7\x9B\x92"
                                       "3\xE6\x97\xA0"
                                       "3\xC3\x97"
                                       "5\xE5\xB0\xBA\xE5\xAF\xB8\xE7\xBA\xB8\xE5\xBC\xA0"));
  EXPECT_TRUE(titleOf(41202).contains("\xE6\x97\xB6,\xE7\xBA\xB8"));
}

TEST(Catalogue, FixedEntriesByteForByte) {
  struct Row {
    int code, level;
    const char *title, *message;
  };
  const Row rows[] = {
      {10001, 1, "打印机准备就绪", "打印机准备就绪\xEF\xBC\x8C等待打印任务"},  // full-width comma
      {40000, 1, "休眠", "长时间没有收到数据\n打印机进入省电休眠状态"},
      {62116, 2, "更换MP纸盒进纸器",
       "打印机多功能进纸板部件的打印页数到达规定寿命需要更换\n请更换多功能进纸板单元"},
      {62123, 2, "纸盒2纸张不足", "打印机纸盒2剩余纸张较少\n请向纸盒2中添加纸张"},
      {40021, 3, "盖子未合上", "打开前盖板后，重新关闭前盖板"},
      {44116, 3, "双面卡纸", "双面打印纸盒发生卡纸\n请取出双面翻转纸盒中卡住的纸张"},
      {60005, 3, "硒鼓错误", "硒鼓状态异常\n请滑动硒鼓上绿色滑块清洗硒鼓\n清洗后将滑块恢复到初始位置"},
      {60129, 3, "介质不匹配", "向打印机送纸的纸盒中纸张类型错误\n请修改对应的纸张类型"},
      {60153, 3, "配准失败", "颜色校准故障\n"},
      {70420, 3, "无法扫描", "ADF双面无法扫描\n原稿长度太长，不能双面扫描"},
      {88888, 3, "打印机违规外联！", ""},
      {99999, 3, "安全打印密码错误",
       "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(levelOf(r.code), r.level) << r.code;
    EXPECT_EQ(titleOf(r.code), QByteArray(r.title)) << r.code;
    EXPECT_EQ(messageOf(r.code), QByteArray(r.message)) << r.code;
  }
}

TEST(Catalogue, RulesAndNetworkDifferences) {
  std::map<int, StatusRule> withRule;
  for (const StatusEntry& e : statusCatalogue())
    if (e.rule != StatusRule::None) withRule[e.code] = e.rule;
  EXPECT_EQ(withRule, (std::map<int, StatusRule>{{10003, StatusRule::EngineInit},
                                                 {10023, StatusRule::Printing},
                                                 {44444, StatusRule::OnlyWhenHidden},
                                                 {99999, StatusRule::OnlyWhenHidden}}));

  const auto& usb = statusCatalogue(MonitorVariant::Usb);
  const auto& net = statusCatalogue(MonitorVariant::Network);
  for (size_t i = 0; i < usb.size(); ++i) {
    if (usb[i].code == 10007) continue;
    EXPECT_TRUE(usb[i].title == net[i].title && usb[i].message == net[i].message) << usb[i].code;
  }
  EXPECT_EQ(titleOf(10007), QByteArray("取消打印作业"));
  EXPECT_EQ(messageOf(10007), QByteArray("打印作业被取消"));
  EXPECT_EQ(titleOf(10007, MonitorVariant::Network), QByteArray("取消打印"));
  EXPECT_EQ(messageOf(10007, MonitorVariant::Network), QByteArray("PC端取消打印作业"));
}

TEST(CodeExtraction, LinesAndNumbers) {
  EXPECT_EQ(codeFromLine(QByteArray("CODE=10001")), 10001);
  EXPECT_EQ(codeFromLine(QByteArray("\nCODE=10001\n")), 10001);
  EXPECT_EQ(codeFromLine(QByteArray("STATUS CODE=10001")), 10001);
  EXPECT_EQ(codeFromLine(QByteArray("CODE=40021=7")), 40021);
  EXPECT_EQ(codeFromLine(QByteArray("CODE= 40021 \t")), 40021);
  EXPECT_EQ(codeFromLine(QByteArray("CODE=10001\nCODE=10023")), 0);  // one piece: not a number
  EXPECT_EQ(codeFromLine(QByteArray("CODE=abc")), 0);
  EXPECT_EQ(codeFromLine(QByteArray("CODE=")), 0);
  EXPECT_EQ(codeFromLine(QByteArray("CODE=99999999999")), 0);
  EXPECT_EQ(codeFromLine(QStringLiteral("CODE=10023\n")), 10023);
  EXPECT_EQ(codeFromLine(QStringLiteral("CODE=1x")), 0);
}

TEST(PriorityClass, RulesAndBoundaries) {
  const std::pair<const char*, int> cases[] = {
      {"CODE=88888", 4}, {"CODE=41013", 3}, {"CODE=11313", 2}, {"CODE=40000", 1}, {"CODE=12345", 3},
      {"CODE=11200", 3}, {"CODE=11201", 2}, {"CODE=11599", 2}, {"CODE=11600", 3}, {"CODE=41099", 3},
      {"CODE=10007", 1}, {"CODE=62123", 2}, {"CODE=60129", 3}, {"CODE=junk", 3},  {"x CODE=10001\n", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(execMessageLevel(QString::fromLatin1(c.first)), c.second) << c.first;

  // Apart from 88888 ranking first, the classes follow the levels.
  for (const StatusEntry& e : statusCatalogue()) {
    const int cls = execMessageLevel(QStringLiteral("CODE=%1").arg(e.code));
    EXPECT_EQ(cls, e.code == 88888 ? 4 : e.level) << e.code;
  }
}

TEST(LevelStyle, PresentationPerLevel) {
  const char* pictures[] = {"", ":/W3_b256", ":/W3_y256", ":/W3_r256", ""};
  for (int level = 0; level <= 4; ++level) {
    EXPECT_EQ(QByteArray(levelStyle(level).picture), QByteArray(pictures[level])) << level;
    EXPECT_EQ(levelStyle(level).known, level >= 1 && level <= 3) << level;
    EXPECT_EQ(levelStyle(level).showsWindow, level == 2 || level == 3) << level;
  }
  EXPECT_EQ(levelStyle(3).closeIntervalMs, 600000);
  EXPECT_EQ(levelStyle(4).closeIntervalMs, 0);  // unchanged
  EXPECT_EQ(QByteArray(levelStyle(0).trayIcon), ":/images/heart.png");
  EXPECT_EQ(QByteArray(levelStyle(4).trayIcon), "");
}
