#include "platform/x11/x11_screen.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/pixels.h"
#include "capture/bmp.h"
#include "platform/x11/x11_connection.h"

namespace orvamy::x11 {
namespace {

// A System V shared-memory segment attached here and on the server. The id is
// removed right after the server attached it, so the segment goes away with
// the last detach, also when the program is killed.
class ShmSegment {
 public:
  ShmSegment() = default;
  ShmSegment(const ShmSegment&) = delete;
  ShmSegment& operator=(const ShmSegment&) = delete;
  ~ShmSegment() { Release(); }

  bool Create(xcb_connection_t* conn, std::size_t size) {
    Release();
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* addr = shmat(id, nullptr, SHM_RDONLY);
    if (addr == reinterpret_cast<void*>(-1)) {  // shmat's documented failure value
      shmctl(id, IPC_RMID, nullptr);
      return false;
    }
    const xcb_shm_seg_t seg = xcb_generate_id(conn);
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(conn, xcb_shm_attach_checked(conn, seg, static_cast<std::uint32_t>(id), 0)));
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
      shmdt(addr);
      return false;
    }
    conn_ = conn;
    seg_ = seg;
    addr_ = static_cast<const std::uint8_t*>(addr);
    size_ = size;
    return true;
  }

  void Release() {
    if (!addr_) return;
    xcb_shm_detach(conn_, seg_);
    xcb_flush(conn_);
    shmdt(addr_);
    addr_ = nullptr;
    size_ = 0;
  }

  std::size_t size() const { return size_; }
  xcb_shm_seg_t seg() const { return seg_; }
  const std::uint8_t* data() const { return addr_; }

 private:
  xcb_connection_t* conn_ = nullptr;
  xcb_shm_seg_t seg_ = 0;
  const std::uint8_t* addr_ = nullptr;
  std::size_t size_ = 0;
};

struct PixelFormat {
  int depth = 0;
  int bits_per_pixel = 0;  // of the server's Z pixmaps at that depth
  int scanline_pad = 32;
  bool msb_first = false;
};

// The depth of the BMP file images CaptureScreenRect gives for a server
// format (its own depth where BMP has it); 0 where the format is not supported.
int BmpDepthFor(const PixelFormat& f) {
  if (f.bits_per_pixel == 32) return 32;
  if (f.bits_per_pixel == 24) return 24;
  if (f.bits_per_pixel == 16 && f.depth == 16) return 24;
  return 0;  // unsupported
}

std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
  return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
}

// One row of server pixels to 0x00RRGGBB words, in one pass.
void ConvertRow(const PixelFormat& f, const std::uint8_t* src, std::uint32_t* dst, int pixels) {
  const auto n = static_cast<std::size_t>(pixels);
  constexpr bool kLittle = std::endian::native == std::endian::little;
  if (f.bits_per_pixel == 32 && !f.msb_first && kLittle) {
    // B, G, R, X read as a word here is 0xXXRRGGBB: only X is cleared, two
    // pixels per 64-bit word.
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
      std::uint64_t v;
      std::memcpy(&v, src + i * 4, 8);
      v &= 0x00FFFFFF00FFFFFFull;
      std::memcpy(dst + i, &v, 8);
    }
    if (i < n) dst[i] = Rgb(src[i * 4 + 2], src[i * 4 + 1], src[i * 4]);
  } else if (f.bits_per_pixel == 32) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* s = src + i * 4;
      dst[i] = f.msb_first ? Rgb(s[1], s[2], s[3]) : Rgb(s[2], s[1], s[0]);  // X R G B or B G R X
    }
  } else if (f.bits_per_pixel == 24) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* s = src + i * 3;
      dst[i] = f.msb_first ? Rgb(s[0], s[1], s[2]) : Rgb(s[2], s[1], s[0]);  // R G B or B G R
    }
  } else {  // 16 bits, 5-6-5; each channel widened by repeating its top bits
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned v = f.msb_first ? (unsigned{src[i * 2]} << 8) | src[i * 2 + 1]
                                     : (unsigned{src[i * 2 + 1]} << 8) | src[i * 2];
      const unsigned r = (v >> 11) & 0x1F, g = (v >> 5) & 0x3F, b = v & 0x1F;
      dst[i] = Rgb((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
    }
  }
}

}  // namespace

struct X11Screen::Impl {
  XcbConnection conn;
  PixelFormat format;
  bool shm_usable = false;
  ShmSegment segment;

  Impl() {
    if (!conn.ok() || !conn.screen()) return;
    const xcb_setup_t* setup = xcb_get_setup(conn.get());
    format.depth = conn.screen()->root_depth;
    format.msb_first = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0;
         xcb_format_next(&it)) {
      if (it.data->depth == format.depth) {
        format.bits_per_pixel = it.data->bits_per_pixel;
        format.scanline_pad = it.data->scanline_pad;
      }
    }
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn.get(), &xcb_shm_id);
    if (ext && ext->present) {
      XcbReply<xcb_shm_query_version_reply_t> version(
          xcb_shm_query_version_reply(conn.get(), xcb_shm_query_version(conn.get()), nullptr));
      shm_usable = version != nullptr;
    }
  }

  std::size_t Stride(int width) const {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(format.bits_per_pixel);
    const auto pad = static_cast<std::size_t>(std::max(format.scanline_pad, 8));
    return (bits + pad - 1) / pad * pad / 8;
  }

  // Reads the on-screen part (inside the root window) into `into`, whose
  // rows are those of the rectangle at (x, y).
  bool ReadInto(Picture& into, std::int32_t x, std::int32_t y, std::int32_t ix, std::int32_t iy,
                std::int32_t iw, std::int32_t ih) {
    const std::size_t stride = Stride(iw);
    XcbReply<xcb_get_image_reply_t> plain;
    const std::uint8_t* rows = Fetch(ix, iy, iw, ih, stride * static_cast<std::size_t>(ih), plain);
    if (!rows) return false;
    for (std::int32_t r = 0; r < ih; ++r) {
      ConvertRow(format, rows + static_cast<std::size_t>(r) * stride,
                 into.Row(iy - y + r) + (ix - x), iw);
    }
    return true;
  }

  // The server's rows of the rectangle, `bytes` of them: in the shared
  // segment, or in `plain` when the segment cannot be used. Null on failure.
  const std::uint8_t* Fetch(std::int32_t ix, std::int32_t iy, std::int32_t iw, std::int32_t ih,
                            std::size_t bytes, XcbReply<xcb_get_image_reply_t>& plain) {
    xcb_connection_t* c = conn.get();
    if (shm_usable) {
      if (segment.size() < bytes && !segment.Create(c, bytes)) shm_usable = false;
    }
    if (shm_usable) {
      const auto cookie = xcb_shm_get_image(c, conn.root(), static_cast<std::int16_t>(ix),
                                            static_cast<std::int16_t>(iy),
                                            static_cast<std::uint16_t>(iw),
                                            static_cast<std::uint16_t>(ih), ~0u,
                                            XCB_IMAGE_FORMAT_Z_PIXMAP, segment.seg(), 0);
      xcb_generic_error_t* raw_error = nullptr;
      XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, &raw_error));
      XcbReply<xcb_generic_error_t> error(raw_error);
      if (reply) return segment.data();
    }
    const auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, conn.root(),
                                      static_cast<std::int16_t>(ix), static_cast<std::int16_t>(iy),
                                      static_cast<std::uint16_t>(iw),
                                      static_cast<std::uint16_t>(ih), ~0u);
    xcb_generic_error_t* raw_error = nullptr;
    plain.reset(xcb_get_image_reply(c, cookie, &raw_error));
    XcbReply<xcb_generic_error_t> error(raw_error);
    if (!plain || static_cast<std::size_t>(xcb_get_image_data_length(plain.get())) < bytes) {
      return nullptr;
    }
    return xcb_get_image_data(plain.get());
  }
};

struct X11Screen::PointerConnection {
  XcbConnection conn;
};

X11Screen::X11Screen()
    : impl_(std::make_unique<Impl>()), pointer_(std::make_unique<PointerConnection>()) {}
X11Screen::~X11Screen() = default;

bool X11Screen::ok() const {
  std::lock_guard lock(mutex_);
  return impl_->conn.ok() && impl_->conn.screen();
}

bool X11Screen::UsesSharedMemory() const {
  std::lock_guard lock(mutex_);
  return impl_->shm_usable;
}

ByteArray X11Screen::CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                       std::int32_t height) {
  Picture picture;
  if (!CapturePixelsInto(picture, {x, y, width, height})) return {};
  int depth = 0;
  {
    std::lock_guard lock(mutex_);
    depth = BmpDepthFor(impl_->format);
  }
  return EncodeBmp(picture.View(), depth);
}

bool X11Screen::CapturePixelsInto(Picture& into, ScreenRect rect) {
  std::lock_guard lock(mutex_);
  Impl& s = *impl_;
  if (!s.conn.ok() || !s.conn.screen()) return false;
  if (BmpDepthFor(s.format) == 0) return false;
  if (rect.width < 1 || rect.height < 1) return false;

  // The root window's current size (it changes with RandR).
  XcbReply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(s.conn.get(), xcb_get_geometry(s.conn.get(), s.conn.root()), nullptr));
  if (!geometry) return false;
  const std::int64_t left = std::max<std::int64_t>(rect.left, 0);
  const std::int64_t top = std::max<std::int64_t>(rect.top, 0);
  const std::int64_t right =
      std::min<std::int64_t>(std::int64_t{rect.left} + rect.width, geometry->width);
  const std::int64_t bottom =
      std::min<std::int64_t>(std::int64_t{rect.top} + rect.height, geometry->height);

  // The picture keeps the previous frame's pixels. They are written whole
  // when the rectangle lies on the screen (the usual case); otherwise they
  // are cleared first: black off the screen.
  if (!into.Reshape(rect.width, rect.height)) return false;
  const bool covers_all = left == rect.left && top == rect.top && right - left == rect.width &&
                          bottom - top == rect.height;
  if (!covers_all) std::fill(into.pixels.begin(), into.pixels.end(), 0u);
  if (left >= right || top >= bottom) return true;  // wholly off the screen: all black

  return s.ReadInto(into, rect.left, rect.top, static_cast<std::int32_t>(left),
                    static_cast<std::int32_t>(top), static_cast<std::int32_t>(right - left),
                    static_cast<std::int32_t>(bottom - top));
}

std::optional<ScreenPoint> X11Screen::QueryPointer() {
  const XcbConnection& conn = pointer_->conn;
  if (!conn.ok() || !conn.screen()) return std::nullopt;
  XcbReply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(conn.get(), xcb_query_pointer(conn.get(), conn.root()), nullptr));
  if (!reply) return std::nullopt;
  return ScreenPoint{reply->root_x, reply->root_y};
}

}  // namespace orvamy::x11
