// Looks at an X display from outside: finds a top-level window by its title,
// waits until a region of it holds enough red pixels (a state title drawn in
// red), and saves the window and the whole screen as PNG pictures.
//
//   screen_probe <title> <window.png> <screen.png> <timeout-ms>
//
// Prints "window=<x>,<y>,<w>,<h> red=<count>" and exits 0 when the red title
// was seen, 1 on time-out (the pictures then show the last state), 2 on
// other errors.
//
//   screen_probe --set-workarea <x> <y> <width> <height>
//
// Publishes the desktop's work area (_NET_WORKAREA) on the root window, as a
// window manager does.
//
//   screen_probe --mapped <title> <1|0> <timeout-ms>
//
// Waits until a window with the title is shown (1) or none is (0); prints
// "window=<x>,<y>,<w>,<h>" of the last one seen; exits 0 when it came to pass.
#include <xcb/xcb.h>

#include <QImage>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

// The region of the window where the state title is drawn (right of the
// state picture, above the message), and how many red pixels prove it.
constexpr int kTitleLeft = 100, kTitleTop = 20, kTitleBottom = 140;
constexpr int kRedPixelsNeeded = 60;

struct Free {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

struct Connection {
  xcb_connection_t* c = nullptr;
  xcb_screen_t* screen = nullptr;
  Connection() {
    int n = 0;
    c = xcb_connect(nullptr, &n);
    if (xcb_connection_has_error(c)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; it.rem && n > 0; --n) xcb_screen_next(&it);
    screen = it.data;
  }
  ~Connection() {
    if (c) xcb_disconnect(c);
  }
  bool ok() const { return c && !xcb_connection_has_error(c) && screen; }

  xcb_atom_t atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  }

  bool setWorkArea(const uint32_t (&area)[4]) {
    xcb_void_cookie_t done = xcb_change_property_checked(
        c, XCB_PROP_MODE_REPLACE, screen->root, atom("_NET_WORKAREA"), XCB_ATOM_CARDINAL, 32, 4, area);
    Reply<xcb_generic_error_t> error(xcb_request_check(c, done));
    return !error;
  }

  std::string title(xcb_window_t w, xcb_atom_t netWmName) {
    for (xcb_atom_t prop : {netWmName, static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME)}) {
      Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
          c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
      if (r && xcb_get_property_value_length(r.get()) > 0)
        return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                           static_cast<size_t>(xcb_get_property_value_length(r.get())));
    }
    return {};
  }

  // The first mapped child of the root with this title: its rectangle on the screen.
  std::optional<QRect> find(const std::string& wanted) {
    const xcb_atom_t netWmName = atom("_NET_WM_NAME");
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr));
    if (!tree) return std::nullopt;
    const xcb_window_t* kids = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      Reply<xcb_get_window_attributes_reply_t> attr(
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, kids[i]), nullptr));
      if (!attr || attr->map_state != XCB_MAP_STATE_VIEWABLE || title(kids[i], netWmName) != wanted) continue;
      Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, kids[i]), nullptr));
      if (g) return QRect(g->x, g->y, g->width, g->height);
    }
    return std::nullopt;
  }

  // A part of the screen as it is shown.
  QImage grab(const QRect& r) {
    Reply<xcb_get_image_reply_t> img(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<int16_t>(r.x()),
                      static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                      static_cast<uint16_t>(r.height()), ~0u),
        nullptr));
    if (!img || img->depth != 24) return {};
    const int len = xcb_get_image_data_length(img.get());
    if (len < r.width() * r.height() * 4) return {};
    // 24-bit depth is stored as 32-bit pixels, little-endian BGRX: the layout of RGB32.
    QImage view(xcb_get_image_data(img.get()), r.width(), r.height(), r.width() * 4, QImage::Format_RGB32);
    return view.copy();
  }
};

int redPixels(const QImage& window) {
  int n = 0;
  for (int y = kTitleTop; y < qMin(kTitleBottom, window.height()); ++y)
    for (int x = kTitleLeft; x < window.width(); ++x) {
      const QRgb p = window.pixel(x, y);
      n += qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90;
    }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--set-workarea") == 0) {
    Connection x;
    uint32_t area[4];
    for (int i = 0; i < 4; ++i) area[i] = static_cast<uint32_t>(std::atoi(argv[2 + i]));
    return x.ok() && x.setWorkArea(area) ? 0 : 2;
  }
  if (argc == 5 && std::strcmp(argv[1], "--mapped") == 0) {
    Connection x;
    if (!x.ok()) return 2;
    const bool want = std::strcmp(argv[3], "1") == 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[4]));
    QRect last;
    for (;;) {
      const std::optional<QRect> r = x.find(argv[2]);
      if (r) last = *r;
      if (r.has_value() == want) break;
      if (std::chrono::steady_clock::now() > until) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("window=%d,%d,%d,%d\n", last.x(), last.y(), last.width(), last.height());
    return 0;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s <title> <window.png> <screen.png> <timeout-ms>\n", argv[0]);
    return 2;
  }
  const std::string wanted = argv[1];
  const QString windowPng = QString::fromLocal8Bit(argv[2]);
  const QString screenPng = QString::fromLocal8Bit(argv[3]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[4]));

  Connection x;
  if (!x.ok()) {
    std::fprintf(stderr, "screen_probe: cannot open the display\n");
    return 2;
  }
  const QRect screen(0, 0, x.screen->width_in_pixels, x.screen->height_in_pixels);
  QImage window;
  QRect where;
  int red = 0;
  for (;;) {
    if (std::optional<QRect> r = x.find(wanted)) {
      where = *r;
      // Only the part on the screen can be read back.
      window = x.grab(where.intersected(screen));
      red = window.isNull() ? 0 : redPixels(window);
      if (red >= kRedPixelsNeeded) break;
    }
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // Let a balloon or a repaint in flight settle before the pictures are taken.
  if (red >= kRedPixelsNeeded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const QImage again = x.grab(where.intersected(screen));
    if (!again.isNull() && redPixels(again) >= kRedPixelsNeeded) window = again;
  }
  if (!window.isNull()) window.save(windowPng, "PNG");
  x.grab(screen).save(screenPng, "PNG");
  std::printf("window=%d,%d,%d,%d red=%d\n", where.x(), where.y(), where.width(), where.height(), red);
  return red >= kRedPixelsNeeded ? 0 : 1;
}
