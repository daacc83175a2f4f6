// The network setup window: reads the printer's address, mask and gateway
// over USB, sends a new configuration, and adds the network queue to CUPS.
#pragma once

#include "commandrunner.h"
#include "usb_communicate.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <memory>

class QElapsedTimer;
class QEvent;

namespace Ui {
class netIpSet;
}

// What the queue creation touches: the two files it writes, the init script
// whose presence selects the restart command, and how programs are run.
struct QueueSetup {
  QString netIpInfoPath;
  QString saneConfPath;
  QString cupsInitScript;
  netsetup::CommandRunner run;

  // The installed system's paths and real program runs.
  static QueueSetup system();
};

class netIpSet : public QMainWindow {
  Q_OBJECT

 public:
  // Sets up the form and searches the USB bus before returning, so the
  // window opens filled in (USB mode) or in network-only mode.
  explicit netIpSet(QWidget* parent = nullptr);
  explicit netIpSet(QueueSetup setup, QWidget* parent = nullptr);
  ~netIpSet() override;

  // true: USB mode; false: network-only mode.
  void enableChange(bool usbMode);

  // Creates the network queue for the address, makes it the default, restarts
  // CUPS and updates the address and scanner files. False, with the failure
  // in the status line, when the queue could not be created; then nothing
  // else is run or written. Later failures are debug lines only.
  bool addPrinter(const QString& address);
  void writeNetIptoFile(const QString& address);

  // The USB exchange. writeAndReadPrinter returns the record, or the text
  // "send error" or "read ip error"; it ends once the find that began at
  // `find` has used up its budget.
  QByteArray writeAndReadPrinter(const QByteArray& request, const QElapsedTimer& find);
  bool onlyWriteToPrinter(const QByteArray& command);
  // Sends the record; false when the printer was not found or the transfer
  // failed (the status line tells which).
  bool setIp(const QByteArray& record);
  void findIp(const QByteArray& record);

  // Button actions (connected to the buttons' clicked signals).
  void on_findPrinter_clicked();
  void on_addPrinter_clicked();
  void on_IDOK_clicked();
  void on_clearBtn_clicked();
  void on_IDCANCEL_clicked();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void findSequence(bool fromButton);
  void readSequence();
  void setAction();
  void showStatus(const QString& text);

  std::unique_ptr<Ui::netIpSet> ui;
  QueueSetup setup_;
  usb_communicate usbChannel;
  bool deviceOpen = false;
  QByteArray checkIpCmd;
};
