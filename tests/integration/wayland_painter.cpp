// A Wayland window for the tests of a real compositor: it goes fullscreen on the output
// whose current mode has the size it is given, fills it with one colour, keeps a small
// square in its top-left corner changing (a compositor sends screen-cast frames only on
// change), and prints what input reaches it, one line per event:
//   ready WIDTHxHEIGHT
//   touch-down X Y
//   pointer X Y
//   key CODE down|up
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "xdg-shell-client-protocol.h"

namespace {

constexpr int kTickSize = 32;

struct Output {
  wl_output* output = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

struct Buffer {
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;
  bool busy = false;
};

struct Painter {
  int32_t wanted_width = 0;
  int32_t wanted_height = 0;
  uint32_t colour = 0;

  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm_base = nullptr;
  wl_seat* seat = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;

  wl_surface* surface = nullptr;
  xdg_surface* shell_surface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  bool configured = false;
  bool announced = false;
  Buffer buffers[2];
  uint32_t shade = 0;

  wl_pointer* pointer = nullptr;
  wl_touch* touch = nullptr;
  wl_keyboard* keyboard = nullptr;
};

void Say(const char* format, auto... values) {
  std::printf(format, values...);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void OnBufferRelease(void* data, wl_buffer*) {
  static_cast<Buffer*>(data)->busy = false;
}
const wl_buffer_listener kBufferListener = {OnBufferRelease};

// Two buffers of the window's size in one shared-memory file.
bool MakeBuffers(Painter& painter) {
  const size_t stride = static_cast<size_t>(painter.width) * 4;
  const size_t size = stride * static_cast<size_t>(painter.height);
  const int fd = memfd_create("orvane-wayland-painter", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size * 2)) != 0) {
    return false;
  }
  void* memory = mmap(nullptr, size * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return false;
  }
  wl_shm_pool* pool = wl_shm_create_pool(painter.shm, fd, static_cast<int32_t>(size * 2));
  for (int index = 0; index < 2; ++index) {
    Buffer& buffer = painter.buffers[index];
    buffer.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(size * index),
                                              painter.width, painter.height,
                                              static_cast<int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
    buffer.pixels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) + size * index);
    wl_buffer_add_listener(buffer.buffer, &kBufferListener, &buffer);
    for (size_t pixel = 0; pixel < size / 4; ++pixel) {
      buffer.pixels[pixel] = painter.colour;
    }
  }
  wl_shm_pool_destroy(pool);
  close(fd);
  return true;
}

void Draw(Painter& painter);

void OnFrameDone(void* data, wl_callback* callback, uint32_t) {
  wl_callback_destroy(callback);
  Draw(*static_cast<Painter*>(data));
}
const wl_callback_listener kFrameListener = {OnFrameDone};

// Shows the next shade of the corner square in a free buffer, and asks to be called again
// at the compositor's next frame.
void Draw(Painter& painter) {
  Buffer* free_buffer = nullptr;
  for (Buffer& buffer : painter.buffers) {
    if (!buffer.busy) {
      free_buffer = &buffer;
    }
  }
  if (free_buffer != nullptr) {
    painter.shade = (painter.shade + 8) & 0xFF;
    for (int y = 0; y < kTickSize && y < painter.height; ++y) {
      for (int x = 0; x < kTickSize && x < painter.width; ++x) {
        free_buffer->pixels[y * painter.width + x] = painter.shade * 0x010101u;
      }
    }
    wl_surface_attach(painter.surface, free_buffer->buffer, 0, 0);
    wl_surface_damage_buffer(painter.surface, 0, 0, painter.announced ? kTickSize : painter.width,
                             painter.announced ? kTickSize : painter.height);
    free_buffer->busy = true;
  }
  wl_callback_add_listener(wl_surface_frame(painter.surface), &kFrameListener, &painter);
  wl_surface_commit(painter.surface);
  if (!painter.announced && free_buffer != nullptr) {
    painter.announced = true;
    Say("ready %dx%d", painter.width, painter.height);
  }
}

void OnShellSurfaceConfigure(void* data, xdg_surface* shell_surface, uint32_t serial) {
  auto& painter = *static_cast<Painter*>(data);
  xdg_surface_ack_configure(shell_surface, serial);
  if (painter.configured || painter.width <= 0 || painter.height <= 0) {
    wl_surface_commit(painter.surface);
    return;
  }
  painter.configured = true;
  if (!MakeBuffers(painter)) {
    Say("error shared memory");
    std::exit(1);
  }
  Draw(painter);
}
const xdg_surface_listener kShellSurfaceListener = {OnShellSurfaceConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto& painter = *static_cast<Painter*>(data);
  if (!painter.configured && width > 0 && height > 0) {
    painter.width = width;
    painter.height = height;
  }
}
void OnToplevelClose(void*, xdg_toplevel*) {}
void OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {OnToplevelConfigure, OnToplevelClose,
                                                 OnToplevelBounds, OnToplevelCapabilities};

void OnPing(void*, xdg_wm_base* wm_base, uint32_t serial) {
  xdg_wm_base_pong(wm_base, serial);
}
const xdg_wm_base_listener kWmBaseListener = {OnPing};

void OnOutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                      const char*, int32_t) {}
void OnOutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
    static_cast<Output*>(data)->width = width;
    static_cast<Output*>(data)->height = height;
  }
}
void OnOutputDone(void*, wl_output*) {}
void OnOutputScale(void*, wl_output*, int32_t) {}
void OnOutputText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone,
                                            OnOutputScale,    OnOutputText, OnOutputText};

void OnPointerEnter(void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  Say("pointer %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void OnPointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void OnPointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  Say("pointer %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void OnPointerButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnPointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void OnPointerFrame(void*, wl_pointer*) {}
void OnPointerAxisSource(void*, wl_pointer*, uint32_t) {}
void OnPointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void OnPointerAxisSteps(void*, wl_pointer*, uint32_t, int32_t) {}
const wl_pointer_listener kPointerListener = {
    OnPointerEnter, OnPointerLeave,      OnPointerMotion,   OnPointerButton,    OnPointerAxis,
    OnPointerFrame, OnPointerAxisSource, OnPointerAxisStop, OnPointerAxisSteps, OnPointerAxisSteps};

void OnTouchDown(void*, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t x,
                 wl_fixed_t y) {
  Say("touch-down %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void OnTouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void OnTouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void OnTouchFrame(void*, wl_touch*) {}
void OnTouchCancel(void*, wl_touch*) {}
void OnTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void OnTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}
const wl_touch_listener kTouchListener = {OnTouchDown,       OnTouchUp,     OnTouchMotion,
                                          OnTouchFrame,      OnTouchCancel, OnTouchShape,
                                          OnTouchOrientation};

void OnKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
  close(fd);
}
void OnKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void OnKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void OnKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  Say("key %u %s", key, state == WL_KEYBOARD_KEY_STATE_PRESSED ? "down" : "up");
}
void OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {OnKeymap, OnKeyboardEnter, OnKeyboardLeave,
                                                OnKey,    OnModifiers,     OnRepeatInfo};

// A remote-desktop session adds its virtual devices to the seat only when it starts.
void OnSeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  auto& painter = *static_cast<Painter*>(data);
  if ((capabilities & WL_SEAT_CAPABILITY_POINTER) != 0 && painter.pointer == nullptr) {
    painter.pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(painter.pointer, &kPointerListener, &painter);
  }
  if ((capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0 && painter.touch == nullptr) {
    painter.touch = wl_seat_get_touch(seat);
    wl_touch_add_listener(painter.touch, &kTouchListener, &painter);
  }
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && painter.keyboard == nullptr) {
    painter.keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(painter.keyboard, &kKeyboardListener, &painter);
  }
}
void OnSeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
  auto& painter = *static_cast<Painter*>(data);
  const auto bind = [&](const wl_interface* wanted, uint32_t highest) {
    return wl_registry_bind(registry, name, wanted, version < highest ? version : highest);
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    painter.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    painter.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    painter.wm_base = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(painter.wm_base, &kWmBaseListener, &painter);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && painter.seat == nullptr) {
    painter.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    wl_seat_add_listener(painter.seat, &kSeatListener, &painter);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<Output>();
    output->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    painter.outputs.push_back(std::move(output));
  }
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

wl_output* OutputOfSize(const Painter& painter) {
  for (const auto& output : painter.outputs) {
    if (output->width == painter.wanted_width && output->height == painter.wanted_height) {
      return output->output;
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Painter painter;
  if (argc != 3 ||
      std::sscanf(argv[1], "%dx%d", &painter.wanted_width, &painter.wanted_height) != 2) {
    std::fprintf(stderr, "usage: %s WIDTHxHEIGHT RRGGBB\n", argv[0]);
    return 2;
  }
  painter.colour = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 16));
  painter.display = wl_display_connect(nullptr);
  if (painter.display == nullptr) {
    Say("error no compositor");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(painter.display), &kRegistryListener, &painter);
  wl_display_roundtrip(painter.display);
  wl_display_roundtrip(painter.display);
  wl_output* output = OutputOfSize(painter);
  if (painter.compositor == nullptr || painter.shm == nullptr || painter.wm_base == nullptr ||
      output == nullptr) {
    Say("error no %s", output == nullptr ? "output of that size" : "compositor, shm or xdg shell");
    return 1;
  }
  painter.surface = wl_compositor_create_surface(painter.compositor);
  painter.shell_surface = xdg_wm_base_get_xdg_surface(painter.wm_base, painter.surface);
  xdg_surface_add_listener(painter.shell_surface, &kShellSurfaceListener, &painter);
  painter.toplevel = xdg_surface_get_toplevel(painter.shell_surface);
  xdg_toplevel_add_listener(painter.toplevel, &kToplevelListener, &painter);
  xdg_toplevel_set_title(painter.toplevel, "orvane-wayland-painter");
  xdg_toplevel_set_fullscreen(painter.toplevel, output);
  wl_surface_commit(painter.surface);
  while (wl_display_dispatch(painter.display) != -1) {
  }
  return 0;
}
