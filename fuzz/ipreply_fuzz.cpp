// One read of the setup tool's address exchange: the bytes the printer sent
// as the window takes them from its read buffer, and the record they carry
// as the window shows it.
#include <algorithm>

#include "fuzz_input.h"
#include "netsetupcore.h"
#include "qt_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  using namespace netsetup;
  const QByteArray reply(reinterpret_cast<const char*>(data),
                         static_cast<int>(std::min<size_t>(size, kReplyBufferSize)));
  const std::optional<QByteArray> record = recordFromReply(reply);
  // Only a reply that begins with the prefix carries a record, taken from its first 18 bytes.
  FUZZ_CHECK(record.has_value() == reply.startsWith(kReplyPrefix), "prefix misjudged");
  if (!record) return 0;
  const int used = std::min(reply.size(), kReplyUsed);
  FUZZ_CHECK(record->size() == std::min(used, kRecordSize) && reply.left(used).endsWith(*record),
             "record %s from %s", record->toHex().constData(), reply.toHex().constData());

  // Shown as three dotted texts, one trace line per byte; a whole record
  // reads back as the same bytes once set.
  const DecodedRecord d = decodeRecord(*record);
  FUZZ_CHECK(d.trace.size() == record->size(), "%d trace lines", int(d.trace.size()));
  if (record->size() != kRecordSize) return 0;
  FUZZ_CHECK(
      checkIp(d.address) && checkIp(d.mask) && checkIp(d.gateway) && canonicalIp(d.address) == d.address,
      "shown %s / %s / %s", qPrintable(d.address), qPrintable(d.mask), qPrintable(d.gateway));
  FUZZ_CHECK(encodeRecord(d.address, d.mask, d.gateway) == *record, "record does not read back");
  return 0;
}
