#include "netipinfo.h"

#include "monitorlog.h"
#include "netipinfofile.h"

namespace hrv::monitor {

QString readNetIpInfo(const QString& path) {
  const std::optional<QString> address = netipinfo::read(path);
  if (!address) qCDebug(lcMonitor) << "open file failed";
  return address.value_or(QString());
}

}  // namespace hrv::monitor
