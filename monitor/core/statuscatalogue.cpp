#include "statuscatalogue.h"

#include <QList>
#include <algorithm>

namespace hrv::monitor {

namespace {

struct FixedEntry {
  int code;
  int level;
  const char* title;
  const char* message;
};

// Every code that is not a paper-size shortage. Texts are UTF-8; "\n" is a
// line break inside the shown text.
constexpr FixedEntry kFixedEntries[] = {
    // Ready and progress states
    {10001, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务"},
    {10003, 1, "打印引擎初始化中……", "打印机正在初始化打印引擎，请稍后……"},
    {10007, 1, "取消打印作业", "打印作业被取消"},
    {10023, 1, "正在打印", "打印机正在打印"},
    {40000, 1, "休眠", "长时间没有收到数据\n打印机进入省电休眠状态"},
    // Consumables and part life
    {10205, 2, "硒鼓即将用尽", "即将达到硒鼓单元使用寿命，请更换硒鼓单元"},
    {10209, 2, "黑色墨粉不足", "黑色墨盒墨粉即将用完，请更换墨盒"},
    {10210, 2, "蓝色墨粉不足", "蓝色墨盒墨粉即将用完，请更换墨盒"},
    {10211, 2, "红色墨粉不足", "红色墨盒墨粉即将用完，请更换墨盒"},
    {10212, 2, "黄色墨粉不足", "黄色墨盒墨粉即将用完，请更换墨盒"},
    {10215, 2, "转印带将用尽", "转印带接近规定的寿命\n请立刻更换转印带组件"},
    {10305, 2, "更换硒鼓", "已经达到硒鼓单元使用寿命\n请立刻更换硒鼓单元"},
    {10315, 2, "更换转印带", "转印带组件寿命已经用尽\n请立刻更换转印带组件"},
    {10316, 2, "更换定影单元", "定影单元打印页数达到规定的寿命\n请更换定影单元"},
    {62002, 2, "更换激光单元", "打印机激光单元寿命达到更换状态\n请更换打印激光单元"},
    {62102, 2, "废粉仓寿命用尽", "打印机废粉仓寿命达到更换状态\n请更换废粉仓"},
    {62109, 2, "更换进纸器1", "打印机纸盒1部件的打印页数到达规定寿命需要更换\n请更换纸盒1单元"},
    {62110, 2, "更换进纸器2", "打印机纸盒2部件的打印页数到达规定寿命需要更换\n请更换纸盒2单元"},
    {62111, 2, "更换进纸器3", "打印机纸盒3部件的打印页数到达规定寿命需要更换\n请更换纸盒3单元"},
    {62112, 2, "更换进纸器4", "打印机纸盒4部件的打印页数到达规定寿命需要更换\n请更换纸盒4单元"},
    {62116, 2, "更换MP纸盒进纸器",
     "打印机多功能进纸板部件的打印页数到达规定寿命需要更换\n请更换多功能进纸板单元"},
    {62122, 2, "纸盒1纸张不足", "打印机纸盒1剩余纸张较少\n请向纸盒1中添加纸张"},
    {62123, 2, "纸盒2纸张不足", "打印机纸盒2剩余纸张较少\n请向纸盒2中添加纸张"},
    {62124, 2, "纸盒3纸张不足", "打印机纸盒3剩余纸张较少\n请向纸盒3中添加纸张"},
    {62125, 2, "纸盒4纸张不足", "打印机纸盒4剩余纸张较少\n请向纸盒4中添加纸张"},
    // Stop conditions
    {12201, 3, "无纸盒1", "纸盒1被抽出，请推入纸盒1"},
    {12301, 3, "无纸盒2", "纸盒2被抽出，请推入纸盒2"},
    {12401, 3, "无纸盒3", "纸盒3被抽出，请推入纸盒3"},
    {12501, 3, "无纸盒4", "纸盒4被抽出，请推入纸盒4"},
    {30016, 3, "内存已满", "打印机在打印时，内存不足"},
    {40021, 3, "盖子未合上", "打开前盖板后，重新关闭前盖板"},
    {40026, 3, "无废粉仓", "没有安装废粉仓，请安装废粉仓"},
    {40121, 3, "禁用双面", "请完全关闭产品背面的盖板"},
    {40141, 3, "更换废粉仓", "废粉仓已满，请立即更换"},
    {40305, 3, "硒鼓停止", "硒鼓故障，请立即更换"},
    {40309, 3, "更换黑色墨粉", "接收数据时黑色墨粉用尽"},
    {40310, 3, "更换蓝色墨粉", "接收数据时蓝色墨粉用尽"},
    {40311, 3, "更换红色墨粉", "接收数据时红色墨粉用尽"},
    {40312, 3, "更换黄色墨粉", "接收数据时黄色墨粉用尽"},
    {40405, 3, "无硒鼓单元", "请打开盖板并安装硒鼓单元"},
    {40409, 3, "未安装黑色墨粉单元", "请打开盖板并安装黑色墨粉单元"},
    {40410, 3, "未安装蓝色墨粉单元", "请打开盖板并安装蓝色墨粉单元"},
    {40411, 3, "未安装红色墨粉单元", "请打开盖板并安装红色墨粉单元"},
    {40412, 3, "未安装黄色墨粉单元", "请打开盖板并安装黄色墨粉单元"},
    {40415, 3, "无转印带单元", "请打开盖板并安装转印带单元"},
    // Jams and feed trouble
    {44102, 3, "后部卡纸", "打印机排纸槽附近发生卡纸"},
    {44113, 3, "多功能进纸板卡纸", "多功能进纸板送纸时出现卡纸"},
    {44114, 3, "纸盒1卡纸", "纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张"},
    {44115, 3, "内部卡纸", "请取出打印机内部卡住的纸\n请确认滚筒部件里是否安装纸盒"},
    {44116, 3, "双面卡纸", "双面打印纸盒发生卡纸\n请取出双面翻转纸盒中卡住的纸张"},
    {65003, 3, "纸盒1无进纸", "请在纸盒1中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65004, 3, "纸盒2卡纸", "纸盒2附近发生送纸卡纸\n请取出纸盒2附近卡住的纸张"},
    {65005, 3, "纸盒2无进纸", "请在纸盒2中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65008, 3, "纸盒3卡纸", "纸盒3附近发生送纸卡纸\n请取出纸盒3附近卡住的纸张"},
    {65009, 3, "纸盒3无进纸", "请在纸盒3中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65012, 3, "纸盒4卡纸", "纸盒4附近发生送纸卡纸\n请取出纸盒4附近卡住的纸张"},
    {65013, 3, "纸盒4无进纸", "请在纸盒4中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    // Calibration, diagnosis and engine errors
    {50007, 3, "校准失败", "颜色校准过程中故障"},
    {50076, 3, "自我诊断", "打印机定影器状态异常\n建议重新启动打印机"},
    {60000, 3, "打印数据已满", "打印机的内存已满\n建议将打印机内部存储的内容处理之后重试"},
    {60003, 3, "正在冷却", "打印机内部温度过高\n建议等待打印机错误消除后重试"},
    {60005, 3, "硒鼓错误", "硒鼓状态异常\n请滑动硒鼓上绿色滑块清洗硒鼓\n清洗后将滑块恢复到初始位置"},
    {60021, 3, "盖子未合上", "定影器盖打开状态\n建议重新开合定影器盖"},
    {60023, 3, "双面纸张尺寸错误", "强制排出双面打印\n提供的纸张太短或太长\n无法向打印机进行双面送纸"},
    {60030, 3, "无法打印", "打印机处于不可打印状态"},
    {60129, 3, "介质不匹配", "向打印机送纸的纸盒中纸张类型错误\n请修改对应的纸张类型"},
    {60142, 3, "尺寸匹配错误", "向打印机送纸的纸盒中纸张尺寸错误\n请修改对应的纸张尺寸"},
    {60144, 3, "墨粉盒错误", "检测出新安装的墨粉盒不合格\n建议更换合格的墨粉盒"},
    {60147, 3, "纸盒2错误", "纸盒2故障错误\n建议更换纸盒2"},
    {60151, 3, "墨粉盒错误", "检测出墨粉盒故障\n建议更换墨粉盒"},
    {60153, 3, "配准失败", "颜色校准故障\n"},
    {60157, 3, "短纸张错误", "所选纸张太小，印刷出错\n建议选择合适纸张大小"},
    {60159, 3, "凝露", "发生结露故障\n建议清理机器"},
    {60168, 3, "纸盒3错误", "纸盒3故障错误\n建议更换纸盒3"},
    {60179, 3, "纸盒过多", "打印机检测出可能超过支持的数量\n请更改纸盒数量或修改取纸纸盒"},
    {60182, 3, "无法打印ZC", "打印机输入电源的电压波形异常\n通过打印机电源OFF/ON后该清除该错误"},
    {60185, 3, "自我诊断", "打印机检测出定影器异常\n定影器异常导致待机15分钟"},
    // Scanner and document feeder
    {70004, 3, "原稿卡纸", "ADF原稿卡纸\nADF读取原稿时发生卡纸"},
    {70007, 3, "纸张尺寸错误", "复印时优先级最高纸盒无纸，次优先级纸盒尺寸不符"},
    {70014, 3, "盖子未合上", "ADF盖子被打开，请合上ADF盖子"},
    {70100, 3, "无法扫描AF", "扫描元件起始位置错误"},
    {70400, 3, "无法扫描A9", "扫描特殊错误"},
    {70420, 3, "无法扫描", "ADF双面无法扫描\n原稿长度太长，不能双面扫描"},
    // Special codes
    {44444, 3, "打印机通信失败", "无法和打印机通信，请检查USB线连接"},
    {88888, 3, "打印机违规外联！", ""},
    {99999, 3, "安全打印密码错误",
     "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印"},
};

// The network monitor words the cancelled job differently.
constexpr FixedEntry kNetCancelled = {10007, 1, "取消打印", "PC端取消打印作业"};

StatusRule ruleOf(int code) {
  switch (code) {
    case 10003:
      return StatusRule::EngineInit;
    case 10023:
      return StatusRule::Printing;
    default:
      return StatusRule::None;
  }
}

StatusEntry makeEntry(const FixedEntry& e) {
  return StatusEntry{e.code, e.level, QString::fromUtf8(e.title), QString::fromUtf8(e.message),
                     ruleOf(e.code)};
}

QString paperTitle(const PaperFamily& family, const PaperSuffix& size) {
  QString title = QString::fromUtf8(family.titlePattern);
  title.replace(QLatin1String("{N}"), QString::number(family.tray));
  title.replace(QLatin1String("{S}"), QString::fromUtf8(size.sizeName));
  return title;
}

std::vector<StatusEntry> buildCatalogue(MonitorVariant variant) {
  std::vector<StatusEntry> entries;
  for (const FixedEntry& e : kFixedEntries) {
    const bool netCancel = variant == MonitorVariant::Network && e.code == kNetCancelled.code;
    entries.push_back(makeEntry(netCancel ? kNetCancelled : e));
  }
  const QString paperMessage = QString::fromUtf8(kPaperSizeMessage);
  for (const PaperFamily& family : paperFamilies()) {
    for (const PaperSuffix& size : paperSuffixes()) {
      entries.push_back(StatusEntry{family.prefix * 100 + size.suffix, family.level, paperTitle(family, size),
                                    paperMessage, StatusRule::None});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const StatusEntry& a, const StatusEntry& b) { return a.code < b.code; });
  return entries;
}

// The code part of a line: between the first and the second "=".
template <typename Text, typename Sep>
int codeFromText(const Text& line, Sep sep) {
  const int first = line.indexOf(sep);
  if (first < 0) return 0;
  const int second = line.indexOf(sep, first + 1);
  const int len = second < 0 ? -1 : second - first - 1;
  bool ok = false;
  const int code = line.mid(first + 1, len).toInt(&ok, 10);
  return ok ? code : 0;
}

}  // namespace

const std::vector<PaperFamily>& paperFamilies() {
  static const std::vector<PaperFamily> families = {
      {112, 2, "纸盒{N}无{S}尺寸纸张", 1},
      {113, 2, "纸盒{N}无{S}尺寸纸张", 2},
      {114, 2, "纸盒{N}无{S}尺寸纸张", 3},
      {115, 2, "纸盒{N}无{S}尺寸纸张", 4},
      {410, 3, "多功能进纸板无{S}尺寸纸张", 0},
      {412, 3, "纸盒用途为仅纸盒{N}时,纸盒{N}无{S}尺寸纸张", 1},
      {413, 3, "纸盒用途为仅纸盒{N}时,纸盒{N}无{S}尺寸纸张", 2},
      {414, 3, "纸盒用途为仅纸盒{N}时,纸盒{N}无{S}尺寸纸张", 3},
      {415, 3, "纸盒用途为仅纸盒{N}时,纸盒{N}无{S}尺寸纸张", 4},
      {419, 3, "纸盒用途为自动选择时,所有进纸槽无{S}尺寸纸张", 0},
  };
  return families;
}

const std::vector<PaperSuffix>& paperSuffixes() {
  static const std::vector<PaperSuffix> sizes = {
      {2, "Letter"},
      {4, "Legal"},
      {5, "Executive"},
      {13, "A4"},
      {15, "A5"},
      {17, "A6"},
      {19, "B5或JIS B5"},
      {26, "B6或JIS B6"},
      {28, "Hagaki"},
      {31, "Com-10"},
      {32, "Monarch"},
      {34, "C5"},
      {35, "DL"},
      {36, "自定义"},
      {64, "Organizer J"},
      {65, "Organizer K"},
      {66, "Organizer L"},
      {67, "Organizer M"},
      {68, "Folio"},
      {69, "DL L"},
      {71, "3×5"},
      {72, "Envelope You #4"},
      {73, "Envelope You #3"},
      {74, "A4 Long"},
      {80, "A5 L"},
  };
  return sizes;
}

const std::vector<StatusEntry>& statusCatalogue(MonitorVariant variant) {
  static const std::vector<StatusEntry> usb = buildCatalogue(MonitorVariant::Usb);
  static const std::vector<StatusEntry> net = buildCatalogue(MonitorVariant::Network);
  return variant == MonitorVariant::Network ? net : usb;
}

const StatusEntry* findStatusEntry(int code, MonitorVariant variant) {
  const std::vector<StatusEntry>& entries = statusCatalogue(variant);
  const auto it = std::lower_bound(entries.begin(), entries.end(), code,
                                   [](const StatusEntry& e, int c) { return e.code < c; });
  return it != entries.end() && it->code == code ? &*it : nullptr;
}

int codeFromLine(const QByteArray& line) {
  return codeFromText(line, '=');
}

int codeFromLine(const QString& line) {
  return codeFromText(line, QLatin1Char('='));
}

int execMessageLevel(const QString& line) {
  const int code = codeFromLine(line);
  if (code == 88888) return 4;
  if ((code >= 41000 && code <= 41099) || (code >= 41200 && code <= 41599) ||
      (code >= 41900 && code <= 41999))
    return 3;
  if (code >= 11201 && code <= 11599) return 2;
  switch (code) {
    case 10001:
    case 10003:
    case 10007:
    case 10023:
    case 40000:
      return 1;
    case 10205:
    case 10209:
    case 10210:
    case 10211:
    case 10212:
    case 10215:
    case 10305:
    case 10315:
    case 10316:
    case 62002:
    case 62102:
    case 62109:
    case 62110:
    case 62111:
    case 62112:
    case 62116:
    case 62122:
    case 62123:
    case 62124:
    case 62125:
      return 2;
    default:
      return 3;
  }
}

}  // namespace hrv::monitor
