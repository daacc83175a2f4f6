// One read of the setup tool's address exchange: the bytes the printer sent
// as the window takes them from its read buffer, and the record they carry
// as the window shows it.
#include <QByteArray>
#include <QString>

#include <algorithm>

#include "fuzz_input.h"
#include "netsetupcore.h"
#include "qt_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  // The read buffer holds 512 bytes.
  const QByteArray reply(reinterpret_cast<const char*>(data),
                         static_cast<int>(std::min<size_t>(size, netsetup::kReplyBufferSize)));
  const std::optional<QByteArray> record = netsetup::recordFromReply(reply);

  // Only a reply that begins with the prefix carries a record.
  FUZZ_CHECK(record.has_value() == reply.startsWith(netsetup::kReplyPrefix), "prefix misjudged");
  if (!record) return 0;
  const int used = std::min(reply.size(), netsetup::kReplyUsed);
  FUZZ_CHECK(record->size() == std::min(used, netsetup::kRecordSize), "record of %d bytes from %d",
             int(record->size()), int(reply.size()));
  FUZZ_CHECK(reply.left(used).endsWith(*record), "record not taken from the reply's first 18 bytes");

  // Shown as three dotted texts, one trace line per byte; a whole record
  // reads back as the same bytes once set.
  const netsetup::DecodedRecord d = netsetup::decodeRecord(*record);
  FUZZ_CHECK(d.trace.size() == record->size(), "%d trace lines for %d bytes", int(d.trace.size()),
             int(record->size()));
  FUZZ_CHECK(netsetup::HexToStr(*record).size() == std::max(0, 3 * int(record->size()) - 1), "hex text");
  if (record->size() == netsetup::kRecordSize) {
    FUZZ_CHECK(netsetup::checkIp(d.address) && netsetup::checkIp(d.mask) && netsetup::checkIp(d.gateway),
               "shown %s / %s / %s", d.address.toUtf8().constData(), d.mask.toUtf8().constData(),
               d.gateway.toUtf8().constData());
    FUZZ_CHECK(netsetup::encodeRecord(d.address, d.mask, d.gateway) == *record, "record does not read back");
    FUZZ_CHECK(netsetup::canonicalIp(d.address) == d.address, "shown address not canonical");
  }
  return 0;
}
