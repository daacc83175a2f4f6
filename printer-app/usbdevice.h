// The printer on USB as a PAPPL device of its own scheme ("hrvusb://"),
// through usb_communicate: listed when a printer with the printer's vendor
// and product id is on the bus, opened for a job, written in one-packet
// pieces that are sent again when the printer did not take them in time.
#pragma once

namespace hrv::app {

void addUsbDeviceScheme();

}  // namespace hrv::app
