#include "viewer/viewer_app.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/clock.h"
#include "platform/x11/x11_display_source.h"
#include "services/clipboard_backend_x11.h"
#include "services/clipboard_monitor.h"
#include "viewer/audio_player.h"
#include "viewer/frame_slot.h"
#include "viewer/input_translator.h"
#include "viewer/video_window.h"
#include "viewer/viewer_session.h"
#include "viewer/viewer_stats.h"

namespace orvane::viewer {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr auto kClipboardPoll = 500ms;
constexpr size_t kCodeDigits = 6;

bool CtrlAlt(const SDL_KeyboardEvent& key) {
  return (key.keysym.mod & KMOD_CTRL) != 0 && (key.keysym.mod & KMOD_ALT) != 0;
}

// The digit a key types, on the main row or the numeric pad; nullopt for other keys.
std::optional<char> Digit(SDL_Keycode key) {
  if (key >= SDLK_0 && key <= SDLK_9) {
    return static_cast<char>('0' + (key - SDLK_0));
  }
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
    return static_cast<char>('1' + (key - SDLK_KP_1));
  }
  if (key == SDLK_KP_0) {
    return '0';
  }
  return std::nullopt;
}

// The loop of the window's thread: events in, pictures out.
class ViewerApp {
 public:
  ViewerApp(const ViewerOptions& options, uint32_t wake_event)
      : options_(options), frames_(wake_event), session_(options, frames_, stats_, &audio_) {}

  bool Run();

 private:
  void Handle(const SDL_Event& event);
  bool HandleShortcut(const SDL_KeyboardEvent& key);
  void HandleCodeKey(const SDL_KeyboardEvent& key);
  void StartClipboard();
  void SyncClipboard(Clock::time_point now);
  void Relayout();
  void Draw();
  std::vector<std::string> Message() const;

  const ViewerOptions& options_;
  ViewerStats stats_;
  FrameSlot frames_;
  AudioPlayer audio_;
  ViewerSession session_;
  VideoWindow window_;
  InputTranslator input_;
  AVFrame* picture_ = av_frame_alloc();
  bool overlay_ = false;
  bool quit_ = false;
  bool dirty_ = true;
  std::string typed_code_;
  std::optional<ClipboardMonitor> x11_clipboard_;
  std::string local_clipboard_;  // what SDL's clipboard held at the last look
  Clock::time_point next_clipboard_poll_;
  Clock::time_point next_text_;
  HostCursor cursor_;
};

bool ViewerApp::Run() {
  if (!audio_.Open()) {
    std::fprintf(stderr, "No sound: %s\n", audio_.last_error().c_str());
  }
  const int width = options_.width != 0 ? static_cast<int>(options_.width) : kDefaultWidth;
  const int height = options_.height != 0 ? static_cast<int>(options_.height) : kDefaultHeight;
  if (!window_.Open(width, height, options_.fullscreen)) {
    std::fprintf(stderr, "Cannot open the window: %s\n", window_.last_error().c_str());
    return false;
  }
  overlay_ = options_.stats;
  Relayout();
  StartClipboard();
  session_.Start();
  const auto began = Clock::now();
  while (!quit_) {
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 10) != 0) {
      Handle(event);
      while (SDL_PollEvent(&event) != 0) {
        Handle(event);
      }
    }
    uint64_t host_us = 0;
    bool presented = false;
    if (frames_.Take(picture_, host_us)) {
      if (window_.Upload(picture_)) {
        Relayout();
        Draw();
        presented = true;
        const auto local = session_.HostToLocal(host_us);
        stats_.OnPresented(
            local ? std::optional<int64_t>(static_cast<int64_t>(MonotonicMicros()) - *local)
                  : std::nullopt);
      } else {
        std::fprintf(stderr, "%s\n", window_.last_error().c_str());
      }
    }
    const HostCursor cursor = session_.cursor();
    if (cursor.x != cursor_.x || cursor.y != cursor_.y || cursor.visible != cursor_.visible ||
        cursor.shape_version != cursor_.shape_version) {
      cursor_ = cursor;
      dirty_ = true;
    }
    const auto now = Clock::now();
    SyncClipboard(now);
    stats_.Tick(now);
    if (overlay_ || session_.phase() != SessionPhase::kStreaming) {
      // Text changes without pictures: the overlay every second, the status any time.
      if (now >= next_text_) {
        next_text_ = now + 250ms;
        dirty_ = true;
      }
    }
    if (dirty_ && !presented) {
      Draw();
    }
    if (options_.seconds != 0 && now - began >= std::chrono::seconds(options_.seconds)) {
      quit_ = true;
    }
  }
  for (const auto& event : input_.ReleaseAll()) {
    session_.SendInput(event);
  }
  session_.Stop();
  if (x11_clipboard_) {
    x11_clipboard_->Stop();
  }
  std::printf("%s", stats_.Summary().c_str());
  return session_.phase() != SessionPhase::kRefused;
}

void ViewerApp::Handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      quit_ = true;
      return;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
          event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        Relayout();
        dirty_ = true;
      }
      break;
    case SDL_KEYDOWN:
      if (HandleShortcut(event.key)) {
        return;
      }
      if (session_.phase() == SessionPhase::kNeedsCode) {
        HandleCodeKey(event.key);
        return;
      }
      break;
    default:
      break;
  }
  for (const auto& input : input_.Translate(event)) {
    session_.SendInput(input);
  }
}

bool ViewerApp::HandleShortcut(const SDL_KeyboardEvent& key) {
  if (key.keysym.sym == SDLK_F11) {
    window_.ToggleFullscreen();
    return true;
  }
  if (CtrlAlt(key) && key.keysym.sym == SDLK_s) {
    overlay_ = !overlay_;
    dirty_ = true;
    return true;
  }
  if (CtrlAlt(key) && key.keysym.sym == SDLK_p) {
    input_.set_pen_mode(!input_.pen_mode());
    std::printf("The mouse acts as a %s\n", input_.pen_mode() ? "pen" : "finger");
    return true;
  }
  return false;
}

void ViewerApp::HandleCodeKey(const SDL_KeyboardEvent& key) {
  dirty_ = true;
  if (const auto digit = Digit(key.keysym.sym); digit && typed_code_.size() < kCodeDigits) {
    typed_code_ += *digit;
  } else if (key.keysym.sym == SDLK_BACKSPACE && !typed_code_.empty()) {
    typed_code_.pop_back();
  } else if ((key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER) &&
             typed_code_.size() == kCodeDigits) {
    session_.SubmitCode(typed_code_);
    typed_code_.clear();
  }
}

void ViewerApp::SyncClipboard(Clock::time_point now) {
  if (auto update = session_.TakeHostClipboard()) {
    if (x11_clipboard_) {
      x11_clipboard_->Apply(*update);
    } else if (!update->text.empty()) {
      SDL_SetClipboardText(update->text.c_str());
      local_clipboard_ = update->text;
    }
  }
  // The X11 clipboard reports its changes itself; SDL's has to be asked.
  if (x11_clipboard_ || now < next_clipboard_poll_) {
    return;
  }
  next_clipboard_poll_ = now + kClipboardPoll;
  char* current = SDL_GetClipboardText();
  if (current == nullptr) {
    return;
  }
  if (local_clipboard_ != current) {
    local_clipboard_ = current;
    ClipboardData data;
    data.text = local_clipboard_;
    data.has_text = !data.text.empty();
    session_.OfferClipboard(std::move(data));
  }
  SDL_free(current);
}

void ViewerApp::StartClipboard() {
  // On X11 the host's own clipboard code serves this desktop too: text and PNG images,
  // change events rather than polling, and no echo of what it wrote itself.
  auto displays = std::make_shared<X11DisplaySource>();
  if (displays->Get() != nullptr) {
    x11_clipboard_.emplace();
    x11_clipboard_->Start(std::make_unique<X11ClipboardBackend>(displays),
                          [this](const ClipboardData& data) { session_.OfferClipboard(data); });
    return;
  }
  if (char* text = SDL_GetClipboardText()) {
    local_clipboard_ = text;
    SDL_free(text);
  }
}

void ViewerApp::Relayout() {
  int width = 0;
  int height = 0;
  window_.OutputSize(width, height);
  input_.SetLayout(width, height, window_.stream_width(), window_.stream_height());
}

std::vector<std::string> ViewerApp::Message() const {
  if (session_.phase() == SessionPhase::kNeedsCode) {
    return {session_.status(),
            "Code: " + typed_code_ + std::string(kCodeDigits - typed_code_.size(), '_'),
            "then Enter"};
  }
  if (session_.phase() != SessionPhase::kStreaming || window_.stream_width() == 0) {
    return {session_.status()};
  }
  return {};
}

void ViewerApp::Draw() {
  window_.Render(cursor_, overlay_ ? stats_.Lines() : std::vector<std::string>{}, Message());
  dirty_ = false;
}

}  // namespace

bool RunViewer(const ViewerOptions& options) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "Cannot start SDL: %s\n", SDL_GetError());
    return false;
  }
  // Without sound the picture and the input still work.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "No sound: %s\n", SDL_GetError());
  }
  const uint32_t wake_event = SDL_RegisterEvents(1);
  bool ok = false;
  {
    ViewerApp app(options, wake_event == static_cast<uint32_t>(-1) ? 0 : wake_event);
    ok = app.Run();
  }
  SDL_Quit();
  return ok;
}

}  // namespace orvane::viewer
