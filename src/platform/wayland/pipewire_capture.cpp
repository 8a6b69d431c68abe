#include "platform/wayland/pipewire_capture.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/wayland/wayland_messages.h"

namespace orvamy::wayland {
namespace {

// The cursor metadata carries the bitmap when it changes. Compositors fix the
// size they need (Mutter asks for about 384x384) and send no metadata at all
// when our range does not reach it, so the range goes up to 1024x1024.
constexpr int CursorMetaSize(int side) {
  return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}
constexpr int kBytesPerPixel = 4;

struct PipeWireLibrary {
  PipeWireLibrary() { pw_init(nullptr, nullptr); }
  ~PipeWireLibrary() { pw_deinit(); }
  PipeWireLibrary(const PipeWireLibrary&) = delete;
  PipeWireLibrary& operator=(const PipeWireLibrary&) = delete;
};

struct ThreadLoopDeleter {
  void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
struct ContextDeleter {
  void operator()(pw_context* context) const { pw_context_destroy(context); }
};
struct CoreDeleter {
  void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
struct StreamDeleter {
  void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

// Holds the loop's lock for a scope: PipeWire objects are touched only under it
// while the loop thread runs.
class LoopLock {
 public:
  explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
  ~LoopLock() { pw_thread_loop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pw_thread_loop* loop_;
};

std::optional<PixelLayout> LayoutOf(spa_video_format format) {
  switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
      return PixelLayout::kBGRx;
    case SPA_VIDEO_FORMAT_BGRA:
      return PixelLayout::kBGRA;
    case SPA_VIDEO_FORMAT_RGBx:
      return PixelLayout::kRGBx;
    case SPA_VIDEO_FORMAT_RGBA:
      return PixelLayout::kRGBA;
    default:
      return std::nullopt;
  }
}

// One monitor's stream. Lives at a fixed address: PipeWire keeps a pointer to it.
struct StreamSlot {
  FrameStore* store = nullptr;
  std::size_t index = 0;
  PixelLayout layout = PixelLayout::kBGRx;
  std::int32_t width = 0;
  std::int32_t height = 0;
  spa_hook listener{};
  // Declared last so it goes first, while the listener it calls is still here.
  std::unique_ptr<pw_stream, StreamDeleter> stream;
};

const spa_pod* BuildFormats(spa_pod_builder& builder) {
  spa_rectangle default_size{1920, 1080};
  spa_rectangle min_size{1, 1};
  spa_rectangle max_size{16384, 16384};
  // Screen casts send frames as the screen changes: any rate will do.
  spa_fraction default_rate{30, 1};
  spa_fraction min_rate{0, 1};
  spa_fraction max_rate{1000, 1};
  spa_pod_frame frame{};
  spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(
      &builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
      SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&default_size, &min_size, &max_size),
      SPA_FORMAT_VIDEO_framerate,
      SPA_POD_CHOICE_RANGE_Fraction(&default_rate, &min_rate, &max_rate), 0);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
}

// Shared memory only (no DMA-BUF: we read the pixels on the CPU), the header
// metadata for the corrupted flag, and the cursor metadata. Eight buffers by
// default: a compositor with no free buffer at hand skips that update.
void RequestBuffers(StreamSlot& slot) {
  std::array<std::uint8_t, 1024> memory{};
  spa_pod_builder builder{};
  spa_pod_builder_init(&builder, memory.data(), static_cast<std::uint32_t>(memory.size()));
  const int stride = slot.width * kBytesPerPixel;
  std::array<const spa_pod*, 3> params{};
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
      SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * slot.height), SPA_PARAM_BUFFERS_stride,
      SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
  params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
      SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
      SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header)))));
  params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
      SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
      SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64), CursorMetaSize(1), CursorMetaSize(1024))));
  pw_stream_update_params(slot.stream.get(), params.data(),
                          static_cast<std::uint32_t>(params.size()));
}

void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
  auto& slot = *static_cast<StreamSlot*>(data);
  if (param == nullptr || id != SPA_PARAM_Format) return;
  std::uint32_t media_type = 0;
  std::uint32_t media_subtype = 0;
  if (spa_format_parse(param, &media_type, &media_subtype) < 0 ||
      media_type != SPA_MEDIA_TYPE_video || media_subtype != SPA_MEDIA_SUBTYPE_raw) {
    return;
  }
  spa_video_info_raw info{};
  if (spa_format_video_raw_parse(param, &info) < 0) return;
  const std::optional<PixelLayout> layout = LayoutOf(info.format);
  if (!layout || info.size.width == 0 || info.size.height == 0) return;
  slot.layout = *layout;
  slot.width = static_cast<std::int32_t>(info.size.width);
  slot.height = static_cast<std::int32_t>(info.size.height);
  RequestBuffers(slot);
}

// What one buffer holds, in the store's terms. Pixels only when the buffer
// says they are whole; cursor-only updates come with an empty chunk.
StreamBuffer Describe(const StreamSlot& slot, spa_buffer& buffer) {
  StreamBuffer described;
  described.layout = slot.layout;
  described.width = slot.width;
  described.height = slot.height;
  if (const auto* cursor = static_cast<const spa_meta_cursor*>(
          spa_buffer_find_meta_data(&buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
    described.cursor = CursorMeta{cursor->id, cursor->position.x, cursor->position.y};
  }
  const auto* header = static_cast<const spa_meta_header*>(
      spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
  if (header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0) return described;
  if (buffer.n_datas == 0 || buffer.datas == nullptr) return described;
  const spa_data& plane = buffer.datas[0];
  if (plane.data == nullptr || plane.chunk == nullptr) return described;
  const spa_chunk& chunk = *plane.chunk;
  if (chunk.size == 0 || (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED) != 0 ||
      chunk.offset >= plane.maxsize) {
    return described;
  }
  const std::uint32_t size = std::min(chunk.size, plane.maxsize - chunk.offset);
  described.stride = chunk.stride > 0 ? static_cast<std::size_t>(chunk.stride)
                                      : static_cast<std::size_t>(slot.width) * kBytesPerPixel;
  described.pixels = {static_cast<const std::uint8_t*>(plane.data) + chunk.offset, size};
  return described;
}

void OnProcess(void* data) {
  auto& slot = *static_cast<StreamSlot*>(data);
  // Everything queued, in order: a cursor-only buffer between two pictures
  // still moves the pointer. Only the newest picture is converted: when we
  // fall behind, the older ones would be replaced at once anyway, and every
  // buffer we hold is one the compositor cannot fill.
  std::array<pw_buffer*, 16> taken{};
  std::size_t count = 0;
  while (count < taken.size()) {
    pw_buffer* buffer = pw_stream_dequeue_buffer(slot.stream.get());
    if (buffer == nullptr) break;
    taken[count++] = buffer;
  }
  std::size_t newest_picture = count;
  for (std::size_t i = count; i-- > 0;) {
    if (taken[i]->buffer != nullptr && !Describe(slot, *taken[i]->buffer).pixels.empty()) {
      newest_picture = i;
      break;
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (taken[i]->buffer != nullptr) {
      StreamBuffer described = Describe(slot, *taken[i]->buffer);
      if (i != newest_picture) described.pixels = {};
      slot.store->Accept(slot.index, described);
    }
    pw_stream_queue_buffer(slot.stream.get(), taken[i]);
  }
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
  const auto& slot = *static_cast<const StreamSlot*>(data);
  if (state == PW_STREAM_STATE_ERROR) {
    std::fprintf(stderr, "orvamy-gif: monitor stream %zu failed: %s\n", slot.index,
                 error != nullptr ? error : "unknown error");
  }
  // Once connected a stream goes back to unconnected only when it is taken
  // away (the desktop stopped sharing) or when we disconnect it at the end.
  if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
    slot.store->EndStream(slot.index);
  }
}

const pw_stream_events& StreamEvents() {
  static const pw_stream_events events = [] {
    pw_stream_events made{};
    made.version = PW_VERSION_STREAM_EVENTS;
    made.state_changed = OnStateChanged;
    made.param_changed = OnParamChanged;
    made.process = OnProcess;
    return made;
  }();
  return events;
}

}  // namespace

struct PipeWireCapture::Impl {
  PipeWireLibrary library;
  std::unique_ptr<pw_thread_loop, ThreadLoopDeleter> loop;
  std::unique_ptr<pw_context, ContextDeleter> context;
  std::unique_ptr<pw_core, CoreDeleter> core;
  std::vector<std::unique_ptr<StreamSlot>> slots;
  bool running = false;

  ~Impl() {
    // Joins the loop thread first: nothing below may run under its feet.
    if (running) pw_thread_loop_stop(loop.get());
    slots.clear();
    core.reset();
    context.reset();
    loop.reset();
  }

  bool OpenStream(const PortalStream& portal_stream, std::size_t index, FrameStore& store) {
    auto slot = std::make_unique<StreamSlot>();
    slot->store = &store;
    slot->index = index;
    slot->stream.reset(
        pw_stream_new(core.get(), "orvamy-gif monitor",
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!slot->stream) return false;
    pw_stream_add_listener(slot->stream.get(), &slot->listener, &StreamEvents(), slot.get());
    std::array<std::uint8_t, 1024> memory{};
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, memory.data(), static_cast<std::uint32_t>(memory.size()));
    const spa_pod* formats = BuildFormats(builder);
    const int connected = pw_stream_connect(
        slot->stream.get(), PW_DIRECTION_INPUT, portal_stream.node_id,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        &formats, 1);
    slots.push_back(std::move(slot));
    return connected >= 0;
  }
};

PipeWireCapture::PipeWireCapture(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PipeWireCapture::~PipeWireCapture() = default;

std::unique_ptr<PipeWireCapture> PipeWireCapture::Start(UniqueFd remote,
                                                        const std::vector<PortalStream>& streams,
                                                        FrameStore& store, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->loop.reset(pw_thread_loop_new("orvamy-capture", nullptr));
  if (!impl->loop) {
    error = std::string(kPipeWireMessage) + "no thread loop";
    return nullptr;
  }
  impl->context.reset(pw_context_new(pw_thread_loop_get_loop(impl->loop.get()), nullptr, 0));
  if (!impl->context) {
    error = std::string(kPipeWireMessage) + "no context";
    return nullptr;
  }
  if (pw_thread_loop_start(impl->loop.get()) < 0) {
    error = std::string(kPipeWireMessage) + "the loop thread did not start";
    return nullptr;
  }
  impl->running = true;
  LoopLock lock(impl->loop.get());
  // PipeWire owns the descriptor from here on and closes it with the core.
  impl->core.reset(pw_context_connect_fd(impl->context.get(), remote.Release(), nullptr, 0));
  if (!impl->core) {
    error = std::string(kPipeWireMessage) + "cannot connect through the portal's descriptor";
    return nullptr;
  }
  for (std::size_t i = 0; i < streams.size(); ++i) {
    if (!impl->OpenStream(streams[i], i, store)) {
      error = std::string(kPipeWireMessage) + "cannot open the stream of node " +
              std::to_string(streams[i].node_id);
      return nullptr;
    }
  }
  return std::make_unique<PipeWireCapture>(std::move(impl));
}

}  // namespace orvamy::wayland
