// CUPS filter for the HRV5720ZWB: PostScript in, PJL + PCL XL out.
// Built twice: HRV_NETWORK_FILTER selects the network queue's variant.
#include "driver.h"

int main(int argc, char** argv) {
#if HRV_NETWORK_FILTER
  return hrv::runFilter(argc, argv, hrv::networkVariant());
#else
  return hrv::runFilter(argc, argv, hrv::usbVariant());
#endif
}
