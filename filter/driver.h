// The filter's run, from the job's arguments to the last byte sent.
#pragma once

namespace hrv {

struct Variant {
  bool network;
  const char* printerInfoPath;
  const char* printerStatePath;  // nullptr: the network filter keeps no state file
  const char* printLogPath;
  const char* queueLabel;    // printer name in the job record
  double drainPerBlock;      // seconds
  double drainAfterTrailer;  // seconds
};

const Variant& usbVariant();
const Variant& networkVariant();

int runFilter(int argc, char** argv, const Variant& variant);

}  // namespace hrv
