#include "emulated_printer.h"

#include "config.h"

#include <umockdev.h>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace hrvtest {

Bytes toBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Reply Reply::bytes(Bytes data) {
  return Reply{Kind::Data, std::move(data), 0};
}
Reply Reply::text(std::string_view text) {
  return bytes(toBytes(text));
}
Reply Reply::empty() {
  return Reply{Kind::Data, {}, 0};
}
Reply Reply::hang() {
  return Reply{Kind::Hang, {}, 0};
}
Reply Reply::failure(int error) {
  return Reply{Kind::Error, {}, error};
}

WriteResult WriteResult::accept() {
  return WriteResult{Kind::Accept, 0, 0};
}
WriteResult WriteResult::partial(std::size_t accepted) {
  return WriteResult{Kind::Partial, accepted, 0};
}
WriteResult WriteResult::hang() {
  return WriteResult{Kind::Hang, 0, 0};
}
WriteResult WriteResult::failure(int error) {
  return WriteResult{Kind::Error, 0, error};
}

namespace {

constexpr const char kHubSysfs[] = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr const char kPrinterSysfs[] = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr const char kPrinterSysfsFull[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";

// libusb polls the device node for finished transfers and the emulated node
// is always ready; while a transfer waits for the host's time-out, each empty
// poll is answered this much later so the wait does not spin a CPU.
constexpr unsigned kIdlePollMicros = 1000;

std::string hex(const Bytes& bytes) {
  std::string out;
  char b[3];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

void put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v & 0xff));
  out.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
}

// Device, configuration, interface and endpoint descriptors as the kernel's
// "descriptors" sysfs attribute holds them.
Bytes printerDescriptors() {
  Bytes d = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
  put16(d, hrv::kUsbVendor);
  put16(d, hrv::kUsbProduct);
  Bytes tail = {0x00, 0x01, 1, 2, 3, 1,
                // configuration 1: one interface, self powered
                9, 2, 32, 0, 1, 1, 0, 0xc0, 1,
                // interface 0: printer class 7, subclass 1, bidirectional
                9, 4, static_cast<unsigned char>(hrv::kUsbInterface), 0, 2, 7, 1, 2, 0,
                // bulk endpoints, 512-byte packets
                7, 5, hrv::kUsbBulkOut, 2, 0x00, 0x02, 0, 7, 5, hrv::kUsbBulkIn, 2, 0x00, 0x02, 0};
  d.insert(d.end(), tail.begin(), tail.end());
  return d;
}

Bytes hubDescriptors() {
  return {18, 1, 0x00, 0x02, 9, 0, 1, 64, 0x6b, 0x1d, 0x02, 0x00, 0x06, 0x06, 3, 2, 1,    1, 9, 2, 25, 0,
          1,  1, 0,    0xe0, 0, 9, 4, 0,  0,    1,    9,    0,    0,    0,    7, 5, 0x81, 3, 4, 0, 12};
}

bool startsWith(const Bytes& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

struct Urb {
  UMockdevIoctlData* data = nullptr;  // our reference; the client's usbdevfs_urb
  bool done = false;
  int status = 0;
  int actual = 0;
};

struct Client {
  std::deque<Urb> urbs;
};

}  // namespace

struct EmulatedPrinter::State {
  UMockdevTestbed* testbed = nullptr;
  UMockdevIoctlBase* handler = nullptr;

  mutable std::recursive_mutex mutex;
  bool plugged = false;
  int lastDevnum = 1;  // the root hub has address 1
  std::string devnode;
  std::vector<std::string> attachedNodes;

  std::optional<std::vector<Reply>> statusReplies;
  std::optional<Bytes> ipRecord;
  Responder responder;
  std::deque<Reply> pendingReplies;
  Reply idleReply = Reply::hang();
  std::deque<WriteResult> writeResults;

  std::string driver;
  std::string lastDriver = "usblp";
  int detachError = 0;
  int releaseError = 0;
  UMockdevIoctlClient* owner = nullptr;  // the open file holding interface 0
  int pendingClaims = 0;                 // claims waiting on the emulation's thread

  Bytes written;
  std::vector<Bytes> requests;
  std::map<UMockdevIoctlClient*, Client> clients;

  std::vector<Reply> repliesTo(const Bytes& request) {
    if (responder) return responder(request);
    if (statusReplies && startsWith(request, "CheckStatus?")) return *statusReplies;
    if (ipRecord && startsWith(request, "CheckIP?")) {
      Bytes r = toBytes("IPadd:");
      r.insert(r.end(), ipRecord->begin(), ipRecord->end());
      return {Reply::bytes(std::move(r))};
    }
    return {};
  }

  bool handleIoctl(UMockdevIoctlClient* client);
  bool claim(UMockdevIoctlClient* client, bool mayWait);
  void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  Client& track(UMockdevIoctlClient* client);
  void forget(UMockdevIoctlClient* client);
  void forgetAll();
};

namespace {

void complete(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

// Resolves the ioctl argument as a pointer to a T; the returned data is
// written back to the client on completion.
template <typename T>
UMockdevIoctlData* resolveArg(UMockdevIoctlData* arg) {
  return umockdev_ioctl_data_resolve(arg, 0, sizeof(T), nullptr);
}

std::size_t argumentSize(unsigned long request) {
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
      return sizeof(__u32);
    case USBDEVFS_GETDRIVER:
      return sizeof(usbdevfs_getdriver);
    case USBDEVFS_IOCTL:
      return sizeof(usbdevfs_ioctl);
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
      return sizeof(unsigned);
    case USBDEVFS_SUBMITURB:
      return sizeof(usbdevfs_urb);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return sizeof(void*);
    default:
      return 0;
  }
}

bool resolvable(unsigned long request, UMockdevIoctlData* arg) {
  const std::size_t size = argumentSize(request);
  if (size == 0) return true;
  UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, size, nullptr);
  if (!d) return false;
  g_object_unref(d);
  return true;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  return static_cast<EmulatedPrinter::State*>(user)->handleIoctl(client);
}

void onClientConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  static_cast<EmulatedPrinter::State*>(user)->track(client);
}

// umockdev reports a closed device file through the client's "connected"
// property.
void onConnectedChanged(GObject* object, GParamSpec*, gpointer user) {
  auto* client = reinterpret_cast<UMockdevIoctlClient*>(object);
  if (!umockdev_ioctl_client_get_connected(client))
    static_cast<EmulatedPrinter::State*>(user)->forget(client);
}

// A claim that meets an interface still held by a file that is being
// closed waits briefly for the close to be seen, as the kernel would have
// released the interface at close() already.
constexpr int kClaimRetries = 50;  // 1 ms apart

struct ClaimRetry {
  EmulatedPrinter::State* state;
  UMockdevIoctlClient* client;
  int left;
};

gboolean retryClaim(gpointer data) {
  auto* r = static_cast<ClaimRetry*>(data);
  return r->state->claim(r->client, --r->left > 0) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void endClaimRetry(gpointer data) {
  auto* r = static_cast<ClaimRetry*>(data);
  {
    std::lock_guard<std::recursive_mutex> lock(r->state->mutex);
    --r->state->pendingClaims;
  }
  g_object_unref(r->client);
  delete r;
}

}  // namespace

Client& EmulatedPrinter::State::track(UMockdevIoctlClient* client) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto it = clients.find(client);
  if (it == clients.end()) {
    g_object_ref(client);
    g_signal_connect(client, "notify::connected", G_CALLBACK(onConnectedChanged), this);
    it = clients.emplace(client, Client{}).first;
  }
  return it->second;
}

void EmulatedPrinter::State::forget(UMockdevIoctlClient* client) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  // Closing the file gives up its interfaces, as usbfs does.
  if (owner == client) owner = nullptr;
  auto it = clients.find(client);
  if (it == clients.end()) return;
  for (Urb& u : it->second.urbs) g_object_unref(u.data);
  clients.erase(it);
  g_signal_handlers_disconnect_by_data(client, this);
  g_object_unref(client);
}

void EmulatedPrinter::State::forgetAll() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  while (!clients.empty()) forget(clients.begin()->first);
}

bool EmulatedPrinter::State::claim(UMockdevIoctlClient* client, bool mayWait) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  int error = 0;
  if (owner && owner != client) {
    if (umockdev_ioctl_client_get_connected(owner)) {
      if (mayWait) return true;
      error = EBUSY;
    } else {
      forget(owner);
      owner = client;
    }
  } else if (!owner && !driver.empty()) {
    error = EBUSY;
  } else {
    owner = client;
  }
  complete(client, error ? -1 : 0, error);
  return false;
}

bool EmulatedPrinter::State::handleIoctl(UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

  // Every argument is resolved before use; an unreadable one is EFAULT.
  if (request != USBDEVFS_DISCARDURB && !resolvable(request, arg)) {
    complete(client, -1, EFAULT);
    return true;
  }

  std::unique_lock<std::recursive_mutex> lock(mutex);
  const bool stale = !plugged || devnode != umockdev_ioctl_client_get_devnode(client);

  if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
    if (reap(client, arg)) return true;
    if (stale) {
      complete(client, -1, ENODEV);
      return true;
    }
    // Nothing finished yet. When a transfer is waiting for the host's
    // time-out, slow the host's polling down instead of letting it spin.
    bool waiting = false;
    for (const Urb& u : track(client).urbs) waiting = waiting || !u.done;
    lock.unlock();
    if (waiting) g_usleep(kIdlePollMicros);
    complete(client, -1, EAGAIN);
    return true;
  }
  if (request == USBDEVFS_DISCARDURB) {
    discard(client, arg);
    return true;
  }
  if (stale) {
    complete(client, -1, ENODEV);
    return true;
  }

  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* d = resolveArg<__u32>(arg);
      *reinterpret_cast<__u32*>(d->data) = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                           USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                           USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
      complete(client, 0, 0);
      g_object_unref(d);
      return true;
    }
    case USBDEVFS_GETDRIVER: {
      UMockdevIoctlData* d = resolveArg<usbdevfs_getdriver>(arg);
      auto* g = reinterpret_cast<usbdevfs_getdriver*>(d->data);
      std::string name;
      if (g->interface == static_cast<unsigned>(hrv::kUsbInterface)) name = owner ? "usbfs" : driver;
      if (name.empty()) {
        complete(client, -1, ENODATA);
      } else {
        std::snprintf(g->driver, sizeof g->driver, "%s", name.c_str());
        complete(client, 0, 0);
      }
      g_object_unref(d);
      return true;
    }
    case USBDEVFS_IOCTL: {
      UMockdevIoctlData* d = resolveArg<usbdevfs_ioctl>(arg);
      auto* c = reinterpret_cast<usbdevfs_ioctl*>(d->data);
      int error = 0;
      if (c->ifno != hrv::kUsbInterface) {
        error = EINVAL;
      } else if (c->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
        if (detachError)
          error = detachError;
        else if (driver.empty())
          error = ENODATA;
        else
          driver.clear();
      } else if (c->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
        if (!owner && driver.empty()) driver = lastDriver;
      } else {
        error = ENOTTY;
      }
      complete(client, error ? -1 : 0, error);
      g_object_unref(d);
      return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      UMockdevIoctlData* d = resolveArg<unsigned>(arg);
      const unsigned ifno = *reinterpret_cast<unsigned*>(d->data);
      g_object_unref(d);
      if (ifno != static_cast<unsigned>(hrv::kUsbInterface)) {
        complete(client, -1, ENOENT);
      } else if (request == USBDEVFS_CLAIMINTERFACE) {
        if (claim(client, true)) {
          auto* retry =
              new ClaimRetry{this, static_cast<UMockdevIoctlClient*>(g_object_ref(client)), kClaimRetries};
          ++pendingClaims;
          GSource* source = g_timeout_source_new(1);
          g_source_set_callback(source, retryClaim, retry, endClaimRetry);
          g_source_attach(source, g_main_context_get_thread_default());
          g_source_unref(source);
        }
      } else {
        int error = 0;
        if (releaseError)
          error = releaseError;
        else if (owner != client)
          error = EINVAL;
        else
          owner = nullptr;
        complete(client, error ? -1 : 0, error);
      }
      return true;
    }
    case USBDEVFS_SUBMITURB:
      submit(client, arg);
      return true;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
      complete(client, 0, 0);
      return true;
    default:
      complete(client, -1, ENOTTY);
      return true;
  }
}

void EmulatedPrinter::State::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* data = resolveArg<usbdevfs_urb>(arg);
  auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
  const bool out = urb->endpoint == hrv::kUsbBulkOut;
  if (urb->type != USBDEVFS_URB_TYPE_BULK || (!out && urb->endpoint != hrv::kUsbBulkIn) ||
      urb->buffer_length < 0) {
    complete(client, -1, EINVAL);
    g_object_unref(data);
    return;
  }
  if (owner && owner != client) {
    complete(client, -1, EBUSY);
    g_object_unref(data);
    return;
  }
  if (urb->buffer_length > 0) {
    // Afterwards urb->buffer points at a local copy that goes back to
    // the client when the URB is reaped.
    UMockdevIoctlData* buf = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                         static_cast<gsize>(urb->buffer_length), nullptr);
    if (!buf) {
      complete(client, -1, EFAULT);
      g_object_unref(data);
      return;
    }
    g_object_unref(buf);
  }
  const auto* bytes = static_cast<const unsigned char*>(urb->buffer);
  const std::size_t length = static_cast<std::size_t>(urb->buffer_length);

  Urb u;
  u.data = data;
  if (out) {
    WriteResult result = WriteResult::accept();
    if (!writeResults.empty()) {
      result = writeResults.front();
      writeResults.pop_front();
    }
    std::size_t taken = 0;
    switch (result.kind) {
      case WriteResult::Kind::Accept:
        taken = length;
        u.done = true;
        break;
      case WriteResult::Kind::Partial:
        taken = std::min(result.accepted, length);
        u.done = true;
        break;
      case WriteResult::Kind::Hang:
        break;
      case WriteResult::Kind::Error:
        u.done = true;
        u.status = -result.error;
        break;
    }
    u.actual = static_cast<int>(taken);
    if (taken > 0) {
      Bytes request(bytes, bytes + taken);
      written.insert(written.end(), request.begin(), request.end());
      requests.push_back(request);
      for (Reply& r : repliesTo(request)) pendingReplies.push_back(std::move(r));
    }
  } else {
    Reply reply = idleReply;
    if (!pendingReplies.empty()) {
      reply = std::move(pendingReplies.front());
      pendingReplies.pop_front();
    }
    switch (reply.kind) {
      case Reply::Kind::Data: {
        std::size_t n = std::min(reply.data.size(), length);
        if (n > 0) std::memcpy(urb->buffer, reply.data.data(), n);
        if (n < reply.data.size())  // the rest waits for the next read
          pendingReplies.push_front(
              Reply::bytes(Bytes(reply.data.begin() + static_cast<long>(n), reply.data.end())));
        u.actual = static_cast<int>(n);
        u.done = true;
        break;
      }
      case Reply::Kind::Hang:
        break;
      case Reply::Kind::Error:
        u.done = true;
        u.status = -reply.error;
        break;
    }
  }
  track(client).urbs.push_back(u);
  complete(client, 0, 0);
}

bool EmulatedPrinter::State::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  auto it = clients.find(client);
  if (it == clients.end()) return false;
  auto& urbs = it->second.urbs;
  for (auto u = urbs.begin(); u != urbs.end(); ++u) {
    if (!u->done) continue;
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u->data->data);
    urb->status = u->status;
    urb->actual_length = u->actual;
    UMockdevIoctlData* ptr = resolveArg<void*>(arg);
    umockdev_ioctl_data_set_ptr(ptr, 0, u->data);
    complete(client, 0, 0);
    g_object_unref(ptr);
    g_object_unref(u->data);
    urbs.erase(u);
    return true;
  }
  return false;
}

void EmulatedPrinter::State::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  const gulong address = *reinterpret_cast<gulong*>(arg->data);
  for (Urb& u : track(client).urbs) {
    if (u.data->client_addr == address && !u.done) {
      u.done = true;
      u.status = -ENOENT;
      u.actual = 0;
      complete(client, 0, 0);
      return;
    }
  }
  complete(client, -1, EINVAL);
}

EmulatedPrinter::EmulatedPrinter(bool plugged) : state_(std::make_unique<State>()) {
  state_->testbed = umockdev_testbed_new();
  // Only meaningful once a testbed exists.
  if (!umockdev_in_mock_environment()) {
    g_object_unref(state_->testbed);
    throw std::runtime_error(
        "EmulatedPrinter needs the umockdev preload library "
        "(run the test under umockdev-wrapper)");
  }
  state_->handler = umockdev_ioctl_base_new();
  g_signal_connect_after(state_->handler, "handle-ioctl", G_CALLBACK(onIoctl), state_.get());
  g_signal_connect_after(state_->handler, "client-connected", G_CALLBACK(onClientConnected), state_.get());

  const std::string hub = std::string("P: ") + kHubSysfs +
                          "\nN: bus/usb/001/001\n"
                          "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                          "E: BUSNUM=001\nE: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
                          "A: busnum=1\\n\nA: devnum=1\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
                          "H: descriptors=" +
                          hex(hubDescriptors()) + "\n";
  if (!umockdev_testbed_add_from_string(state_->testbed, hub.c_str(), nullptr))
    throw std::runtime_error("umockdev: cannot add the root hub");
  if (plugged) plug();
}

EmulatedPrinter::~EmulatedPrinter() {
  State& s = *state_;
  // Claims waiting on the emulation's thread end within kClaimRetries ms.
  for (int i = 0; i < 1000; ++i) {
    {
      std::lock_guard<std::recursive_mutex> lock(s.mutex);
      if (s.pendingClaims == 0) break;
    }
    g_usleep(1000);
  }
  for (const std::string& node : s.attachedNodes)
    umockdev_testbed_detach_ioctl(s.testbed, node.c_str(), nullptr);
  g_signal_handlers_disconnect_by_data(s.handler, state_.get());
  s.forgetAll();
  g_object_unref(s.handler);
  g_object_unref(s.testbed);
}

void EmulatedPrinter::plug() {
  State& s = *state_;
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.plugged) return;
  const int devnum = ++s.lastDevnum;
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
  // The handler has to be in place before the device node appears.
  if (!umockdev_testbed_attach_ioctl(s.testbed, node, s.handler, nullptr))
    throw std::runtime_error("umockdev: cannot attach the ioctl handler");
  s.attachedNodes.push_back(node);

  char numbers[160];
  std::snprintf(numbers, sizeof numbers, "N: %s\nE: DEVNUM=%03d\nE: DEVNAME=%s\nA: devnum=%d\\n\n", node + 5,
                devnum, node, devnum);
  const std::string device = std::string("P: ") + kPrinterSysfs + "\n" + numbers +
                             "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\n"
                             "A: busnum=1\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
                             "H: descriptors=" +
                             hex(printerDescriptors()) + "\n";
  if (!umockdev_testbed_add_from_string(s.testbed, device.c_str(), nullptr))
    throw std::runtime_error("umockdev: cannot add the printer");
  s.devnode = node;
  s.plugged = true;
}

void EmulatedPrinter::unplug() {
  State& s = *state_;
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (!s.plugged) return;
  s.plugged = false;
  s.devnode.clear();
  s.owner = nullptr;
  for (auto& [client, c] : s.clients) {
    for (Urb& u : c.urbs) {
      if (!u.done) {
        u.done = true;
        u.status = -ESHUTDOWN;
        u.actual = 0;
      }
    }
  }
  umockdev_testbed_remove_device(s.testbed, kPrinterSysfsFull);
}

void EmulatedPrinter::answerStatus(std::string_view reply) {
  answerStatus({Reply::text(reply)});
}

void EmulatedPrinter::answerStatus(std::vector<Reply> replies) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->statusReplies = std::move(replies);
}

void EmulatedPrinter::answerIp(const std::array<unsigned char, 12>& record) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->ipRecord = Bytes(record.begin(), record.end());
}

void EmulatedPrinter::setResponder(Responder responder) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->responder = std::move(responder);
}

void EmulatedPrinter::queueReply(Reply reply) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->pendingReplies.push_back(std::move(reply));
}

void EmulatedPrinter::setIdleReply(Reply reply) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->idleReply = std::move(reply);
}

void EmulatedPrinter::queueWriteResult(WriteResult result) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->writeResults.push_back(result);
}

void EmulatedPrinter::bindKernelDriver(std::string name) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->driver = name;
  state_->lastDriver = std::move(name);
}

std::string EmulatedPrinter::kernelDriver() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->driver;
}

void EmulatedPrinter::failDetach(int error) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->detachError = error;
}

void EmulatedPrinter::failRelease(int error) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->releaseError = error;
}

Bytes EmulatedPrinter::written() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->written;
}

std::string EmulatedPrinter::writtenText() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return std::string(state_->written.begin(), state_->written.end());
}

std::vector<Bytes> EmulatedPrinter::requests() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->requests;
}

void EmulatedPrinter::clearWritten() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->written.clear();
  state_->requests.clear();
}

}  // namespace hrvtest
