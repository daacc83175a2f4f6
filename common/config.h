// Fixed values of the whole suite: installed paths, ports, USB ids, time-outs.
// Nothing here is configurable at run time.
#pragma once

namespace hrv {

// Installed tree
inline constexpr const char kRoot[] = "/opt/vorn/HRV5720ZWB";
inline constexpr const char kRasterizerPath[] = "/opt/vorn/HRV5720ZWB/bin/usb/hrv5720zwb/bin/gs";
inline constexpr const char kDebugCopyPath[] = "/var/tmp/qdw.prn";
inline constexpr const char kSpoolDir[] = "/var/spool/cups";

inline constexpr const char kUsbPrinterInfo[] = "/opt/vorn/HRV5720ZWB/bin/usb/config/printerInfo";
inline constexpr const char kUsbPrinterState[] = "/opt/vorn/HRV5720ZWB/bin/usb/config/printerState";
inline constexpr const char kUsbPrintLog[] = "/opt/vorn/HRV5720ZWB/bin/usb/print_log";
inline constexpr const char kNetPrinterInfo[] = "/opt/vorn/HRV5720ZWB/bin/net/config/printerInfo";
inline constexpr const char kNetPrintLog[] = "/opt/vorn/HRV5720ZWB/bin/net/print_log";
inline constexpr const char kNetIpInfo[] = "/opt/vorn/HRV5720ZWB/bin/net/config/netIpInfo";
inline constexpr const char kGuidePdf[] = "/opt/vorn/HRV5720ZWB/doc/guide.pdf";
inline constexpr const char kPdfReader[] = "/opt/vorn/HRV5720ZWB/bin/usb/pdfReader";
inline constexpr const char kSaneConf[] = "/etc/sane.d/vornhrv5720zwb.conf";
inline constexpr const char kLpadmin[] = "/usr/sbin/lpadmin";
// CUPS service restart: the init script when it is installed, otherwise the
// service front end (found on PATH) with the service name and "restart".
inline constexpr const char kCupsInitScript[] = "/etc/init.d/cups";
inline constexpr const char kServiceProgram[] = "service";
inline constexpr const char kCupsServiceName[] = "cups";

// Queues
inline constexpr const char kUsbQueue[] = "HRV5720ZWB";
inline constexpr const char kNetQueue[] = "HRV5720ZWB-net";
inline constexpr const char kNetPpdName[] = "HRV5720ZWB-net.ppd";

// Network ports
inline constexpr int kRawPrintPort = 9100;
inline constexpr int kStatusPort = 9101;       // printer side, "GetStatus;"
inline constexpr int kStatusReplyPort = 9102;  // monitor side

// USB
inline constexpr int kUsbVendor = 0x0EFD;
inline constexpr int kUsbProduct = 0x0092;
inline constexpr int kUsbInterface = 0;
inline constexpr unsigned char kUsbBulkOut = 0x01;
inline constexpr unsigned char kUsbBulkIn = 0x82;

// USB bulk transfer time-outs (milliseconds). The status monitor keeps its
// polling step short; the setup tool waits longer for the printer to answer.
inline constexpr unsigned kUsbWriteTimeoutMsMonitor = 1000;
inline constexpr unsigned kUsbReadTimeoutMsMonitor = 2000;
inline constexpr unsigned kUsbWriteTimeoutMsNetsetup = 500;
inline constexpr unsigned kUsbReadTimeoutMsNetsetup = 5000;

// One program at a time uses the printer: while a connection is open, the
// printer's device node (under kUsbDevfsRoot, "BBB/DDD" by bus and address)
// carries an exclusive flock. The monitor never waits for it (it leaves the
// step out); the setup tool waits this long for a monitor step to end.
inline constexpr const char kUsbDevfsRoot[] = "/dev/bus/usb";
inline constexpr unsigned kUsbLockWaitMsMonitor = 0;
inline constexpr unsigned kUsbLockWaitMsNetsetup = 6000;
inline constexpr unsigned kUsbLockPollMs = 10;

// The setup tool's read of the printer's address (both attempts together)
// gives up after this long, whatever the printer sends.
inline constexpr int kNetsetupFindBudgetMs = 15000;

// Filter time-outs (seconds)
inline constexpr double kDrainPerBlockUsb = 1.0;
inline constexpr double kDrainPerBlockNet = 2.0;
inline constexpr double kDrainBeforeTrailer = 1.0;
inline constexpr double kDrainAfterTrailerUsb = 3.0;
inline constexpr double kDrainAfterTrailerNet = 1.0;
inline constexpr double kDrainCancel = 1.0;
inline constexpr double kCancelSendTimeout = 1.0;  // the cancel sequence, to a backend that stopped reading
inline constexpr double kLockDrain = 10.0;
inline constexpr double kLockRead = 2.0;
inline constexpr unsigned kRefusedPasswordWaitSeconds = 600;

// Monitor polling (milliseconds)
inline constexpr int kUsbPollMs = 4000;
inline constexpr int kNetPollMs = 3000;
// The network monitor warns of a lost link when this many polling steps in a
// row got no reply from the printer (the warning comes at the next step).
inline constexpr int kNetSilentStepLimit = 3;

// Monitor probes: the process table, the CUPS listings, the USB filter's
// command name as the kernel keeps it (at most 15 characters).
inline constexpr const char kProcRoot[] = "/proc";
inline constexpr const char kUsbFilterProgram[] = "pstopxl_hrv5720zwb";
inline constexpr const char kNetFilterProgram[] = "pstopxl_hrv5720zwb-net";
inline constexpr int kCommNameMax = 15;

// Monitor window: automatic hide and balloon display times (milliseconds).
inline constexpr int kCloseAfterInfoMs = 4000;     // levels 1 and 2
inline constexpr int kCloseAfterErrorMs = 600000;  // level 3
inline constexpr int kBalloonInfoMs = 1;           // level 1: only flashed
inline constexpr int kBalloonWarningMs = 60000;    // level 2
inline constexpr int kBalloonErrorMs = 120000;     // any other level
inline constexpr int kBalloonHintMs = 5000;        // single-click hint

// Monitor window: its distance from the right and bottom edges of the
// desktop's available area (pixels).
inline constexpr int kWindowMarginRight = 10;
inline constexpr int kWindowMarginBottom = 40;

// Monitor start-up: how long the window waits for a system tray to appear
// (rounds of kTrayWaitRoundMs, events handled in slices of kTrayWaitSliceMs).
inline constexpr int kTrayWaitRounds = 3;
inline constexpr int kTrayWaitRoundMs = 4000;
inline constexpr int kTrayWaitSliceMs = 100;

// Printer application (hrv5720zwb-printer-app)
inline constexpr const char kPrinterAppName[] = "hrv5720zwb-printer-app";
inline constexpr const char kPrinterAppDriver[] = "hrv5720zwb";
inline constexpr const char kPrinterAppMakeModel[] = "Vorn HRV5720ZWB";
inline constexpr const char kPrinterAppDeviceId[] = "MFG:Vorn;MDL:HRV5720ZWB;CMD:PJL,PCLXL;";
// Where the application keeps its printers and settings: the state folder
// systemd gives the service, else this folder (as root) or the user's home.
inline constexpr const char kPrinterAppStateDir[] = "/var/lib/hrv5720zwb-printer-app";
inline constexpr const char kPrinterAppStateFile[] = "hrv5720zwb-printer-app.state";
inline constexpr const char kPrinterAppUserStateFile[] = ".hrv5720zwb-printer-app.state";
// The printer on USB as a device of its own scheme, talked to through
// usb_communicate (PAPPL's own USB support needs the printer class's device
// id request, which this printer is not known to answer).
inline constexpr const char kPrinterAppUsbScheme[] = "hrvusb";
inline constexpr const char kPrinterAppUsbUri[] = "hrvusb://Vorn/HRV5720ZWB";
// USB print data goes in writes of one bulk packet: a write the printer did
// not take within the channel's time-out carried nothing and is sent again,
// for as long as this many seconds without progress.
inline constexpr unsigned kPrinterAppUsbPacket = 512;
inline constexpr int kPrinterAppUsbStallSeconds = 60;
// Status answers: how long a status query waits for the printer's reply
// (the query runs while an IPP client waits for the printer's attributes).
inline constexpr int kPrinterAppStatusReplyMs = 1000;
// A PDF or PostScript job: how often its Ghostscript run looks whether the
// job was canceled (what a cancel may take at most before Ghostscript is
// told to end).
inline constexpr int kPrinterAppCancelPollMs = 100;

}  // namespace hrv
