#include "emulated_printer.h"

#include <umockdev.h>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace hrvtest {

namespace {

// The printer as it is sold, not as the code under test expects it: vendor
// 0EFD, product 0092, interface 0 of class 7 (printer, bidirectional), bulk
// OUT 0x01 and bulk IN 0x82 with 512-byte packets.
constexpr char kPrinterDescriptors[] =
    "1201000200000040fd0e9200000101020301"
    "09022000010100c001090400000207010200"
    "0705010200020007058202000200";
constexpr char kHubDescriptors[] =
    "12010002090001406b1d020006060302010109021900010100e0000904000001090000000705810304000c";
constexpr char kHubPath[] = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr char kPrinterPath[] = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr char kPrinterNode[] = "/dev/bus/usb/001/002";
constexpr unsigned kInterface = 0;
constexpr unsigned char kBulkOut = 0x01, kBulkIn = 0x82;
// While a transfer waits for the host's time-out, each empty poll of the host
// is answered this much later, so that the wait does not spin a CPU.
constexpr unsigned kIdlePollMicros = 1000;

std::string sysfsEntry(const char* path, int devnum, const char* descriptors) {
  char text[512];
  std::snprintf(
      text, sizeof text,
      "P: %s\nN: bus/usb/001/%03d\nE: DEVNAME=/dev/bus/usb/001/%03d\nE: DEVNUM=%03d\nA: devnum=%d\\n\n"
      "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nA: busnum=1\\n\n"
      "A: speed=480\\n\nA: bConfigurationValue=1\\n\nH: descriptors=%s\n",
      path, devnum, devnum, devnum, devnum, descriptors);
  return text;
}

// One bulk transfer of one open device file (the client, referenced while
// the transfer lives).
struct Urb {
  UMockdevIoctlClient* client;
  UMockdevIoctlData* data;
  bool done = false;
  int status = 0, actual = 0;
};

template <typename T>
T* as(UMockdevIoctlData* d) {
  return reinterpret_cast<T*>(d->data);
}

void complete(UMockdevIoctlClient* client, int error) {
  umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
}

}  // namespace

struct EmulatedPrinter::State {
  UMockdevTestbed* testbed = nullptr;
  UMockdevIoctlBase* handler = nullptr;
  mutable std::recursive_mutex mutex;
  Script script;
  std::deque<Reply> pending;
  std::deque<Urb> urbs;
  std::vector<Bytes> requests;

  void ioctl(UMockdevIoctlClient* client);
  void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void answer(Urb& u, unsigned char* buffer, std::size_t length, bool out);
  void drop(std::deque<Urb>::iterator u) {
    g_object_unref(u->data);
    g_object_unref(u->client);
    urbs.erase(u);
  }
};

void EmulatedPrinter::State::ioctl(UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  std::unique_lock<std::recursive_mutex> lock(mutex);
  auto mine = [&](auto&& also) {
    return std::find_if(urbs.begin(), urbs.end(),
                        [&](const Urb& u) { return u.client == client && also(u); });
  };

  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    const auto u = mine([](const Urb& x) { return x.done; });
    if (u != urbs.end()) {
      as<usbdevfs_urb>(u->data)->status = u->status;
      as<usbdevfs_urb>(u->data)->actual_length = u->actual;
      g_autoptr(UMockdevIoctlData) ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
      umockdev_ioctl_data_set_ptr(ptr, 0, u->data);
      drop(u);
      return complete(client, 0);
    }
    const bool waiting = mine([](const Urb&) { return true; }) != urbs.end();
    lock.unlock();
    if (waiting) g_usleep(kIdlePollMicros);
    return complete(client, EAGAIN);
  }
  if (request == USBDEVFS_DISCARDURB) {  // the host's time-out
    const gulong address = *as<gulong>(arg);
    const auto u = mine([&](const Urb& x) { return !x.done && x.data->client_addr == address; });
    if (u == urbs.end()) return complete(client, EINVAL);
    *u = {u->client, u->data, true, -ENOENT, 0};
    return complete(client, 0);
  }

  switch (request) {
    case USBDEVFS_GETDRIVER: {
      g_autoptr(UMockdevIoctlData) d =
          umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
      auto* g = as<usbdevfs_getdriver>(d);
      const std::string name = g->interface == kInterface ? script.driver : "";
      std::snprintf(g->driver, sizeof g->driver, "%s", name.c_str());
      return complete(client, name.empty() ? ENODATA : 0);
    }
    case USBDEVFS_IOCTL: {  // USBDEVFS_DISCONNECT: detach the kernel driver
      g_autoptr(UMockdevIoctlData) d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
      const auto* c = as<usbdevfs_ioctl>(d);
      if (c->ifno != static_cast<int>(kInterface) || c->ioctl_code != static_cast<int>(USBDEVFS_DISCONNECT))
        return complete(client, EINVAL);
      const int error = script.detachError ? script.detachError : script.driver.empty() ? ENODATA : 0;
      if (!error) script.driver.clear();
      return complete(client, error);
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      g_autoptr(UMockdevIoctlData) d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
      if (*as<unsigned>(d) != kInterface) return complete(client, ENOENT);
      if (request == USBDEVFS_RELEASEINTERFACE) return complete(client, script.releaseError);
      return complete(client, script.claimError ? script.claimError : script.driver.empty() ? 0 : EBUSY);
    }
    case USBDEVFS_SUBMITURB:
      return submit(client, arg);
    default:  // capabilities among them: libusb then asks for nothing special
      return complete(client, ENOTTY);
  }
}

void EmulatedPrinter::State::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto* urb = as<usbdevfs_urb>(data);
  const bool out = urb->endpoint == kBulkOut;
  // Afterwards urb->buffer points at a copy that goes back to the host when
  // the URB is reaped.
  UMockdevIoctlData* buffer =
      urb->buffer_length <= 0 ? nullptr
                              : umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                            static_cast<gsize>(urb->buffer_length), nullptr);
  if (buffer) g_object_unref(buffer);
  if (urb->type != USBDEVFS_URB_TYPE_BULK || (!out && urb->endpoint != kBulkIn) || urb->buffer_length < 0 ||
      (urb->buffer_length > 0 && !buffer)) {
    g_object_unref(data);
    return complete(client, EINVAL);
  }
  urbs.push_back({static_cast<UMockdevIoctlClient*>(g_object_ref(client)), data});
  answer(urbs.back(), static_cast<unsigned char*>(urb->buffer), static_cast<std::size_t>(urb->buffer_length),
         out);
  complete(client, 0);
}

// The chat's answer to one transfer; one that times out stays open.
void EmulatedPrinter::State::answer(Urb& u, unsigned char* buffer, std::size_t length, bool out) {
  const auto line =
      std::find_if(script.chat.begin(), out ? script.chat.end() : script.chat.begin(), [&](Line& l) {
        return length >= l.request.size() && std::memcmp(buffer, l.request.data(), l.request.size()) == 0 &&
               (l.times == 0 || l.used < l.times);
      });
  const bool matched = out && line != script.chat.end() && ++line->used;
  const Reply reply = out               ? (matched ? line->write : Reply{})
                      : pending.empty() ? script.idle
                                        : pending.front();
  if (!out && !pending.empty()) pending.pop_front();
  if (reply.kind == Reply::Kind::Timeout) return;
  u.done = true;
  if (reply.kind == Reply::Kind::Error) return void(u.status = -reply.n);
  const std::size_t n =
      std::min(length, !out                               ? reply.data.size()
                       : reply.kind == Reply::Kind::Short ? static_cast<std::size_t>(reply.n)
                                                          : length);
  u.actual = static_cast<int>(n);
  if (!out) {
    std::copy_n(reply.data.begin(), n, buffer);
    if (n < reply.data.size())  // the rest waits for the next read
      pending.push_front(Reply::bytes(Bytes(reply.data.begin() + static_cast<long>(n), reply.data.end())));
    return;
  }
  if (matched && reply.kind == Reply::Kind::Data)
    pending.insert(pending.end(), line->replies.begin(), line->replies.end());
  if (n > 0) requests.emplace_back(buffer, buffer + n);
  if (n > 0 && script.watch) script.watch(requests.back());
}

EmulatedPrinter::EmulatedPrinter(Script script) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.script = std::move(script);
  s.testbed = umockdev_testbed_new();
  if (!umockdev_in_mock_environment()) {
    g_object_unref(s.testbed);
    throw std::runtime_error("EmulatedPrinter needs the umockdev preload library (umockdev-wrapper)");
  }
  s.handler = umockdev_ioctl_base_new();
  const auto onIoctl = [](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer state) -> gboolean {
    static_cast<State*>(state)->ioctl(client);
    return TRUE;
  };
  g_signal_connect_after(s.handler, "handle-ioctl", G_CALLBACK(+onIoctl), &s);
  // The handler has to be in place before the device node appears.
  if (!umockdev_testbed_add_from_string(s.testbed, sysfsEntry(kHubPath, 1, kHubDescriptors).c_str(),
                                        nullptr) ||
      !umockdev_testbed_attach_ioctl(s.testbed, kPrinterNode, s.handler, nullptr) ||
      !umockdev_testbed_add_from_string(s.testbed, sysfsEntry(kPrinterPath, 2, kPrinterDescriptors).c_str(),
                                        nullptr))
    throw std::runtime_error("umockdev: cannot add the printer");
}

EmulatedPrinter::~EmulatedPrinter() {
  State& s = *state_;
  umockdev_testbed_detach_ioctl(s.testbed, kPrinterNode, nullptr);
  g_signal_handlers_disconnect_by_data(s.handler, &s);
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  while (!s.urbs.empty()) s.drop(s.urbs.begin());
  g_object_unref(s.handler);
  g_object_unref(s.testbed);
}

Script EmulatedPrinter::script(const std::function<void(Script&)>& change) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  if (change) change(state_->script);
  return state_->script;
}

std::vector<Bytes> EmulatedPrinter::requests() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->requests;
}

std::string EmulatedPrinter::writtenText() const {
  std::string text;
  for (const Bytes& r : requests()) text.append(r.begin(), r.end());
  return text;
}

void EmulatedPrinter::clearWritten() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->requests.clear();
}

}  // namespace hrvtest
