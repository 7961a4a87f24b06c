#include "services/clipboard_backend_x11.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/logger.h"
#include "services/latin1_text.h"
#include "services/png_check.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

// How long an owner may take to answer one request or to deliver one INCR piece.
constexpr auto kAnswerLimit = std::chrono::seconds(3);
constexpr auto kIdleWait = std::chrono::milliseconds(200);
// A ChangeProperty request's fixed part.
constexpr size_t kChangePropertyHeader = 24;

template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> Owned(Reply* reply) {
  return {reply, &std::free};
}

xcb_atom_t Intern(xcb_connection_t* connection, const char* name) {
  const auto reply = Owned(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : XCB_NONE;
}

uint8_t EventType(const xcb_generic_event_t& event) {
  return event.response_type & 0x7F;
}

}  // namespace

X11ClipboardBackend::~X11ClipboardBackend() {
  Stop();
}

bool X11ClipboardBackend::InternAtoms() {
  atoms_.clipboard = Intern(connection_, "CLIPBOARD");
  atoms_.targets = Intern(connection_, "TARGETS");
  atoms_.utf8_string = Intern(connection_, "UTF8_STRING");
  atoms_.text = Intern(connection_, "TEXT");
  atoms_.incr = Intern(connection_, "INCR");
  atoms_.png = Intern(connection_, "image/png");
  atoms_.property = Intern(connection_, "_ORVANE_CLIPBOARD");
  return atoms_.clipboard != XCB_NONE && atoms_.targets != XCB_NONE &&
         atoms_.utf8_string != XCB_NONE && atoms_.text != XCB_NONE && atoms_.incr != XCB_NONE &&
         atoms_.png != XCB_NONE && atoms_.property != XCB_NONE;
}

bool X11ClipboardBackend::Start(ChangeCallback on_change) {
  Stop();
  display_ = displays_->Get();
  if (display_ == nullptr) {
    LOG_WARN("[Clipboard] No X display; the clipboard is not shared");
    return false;
  }
  connection_ = display_->connection();
  const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
  const auto version = xfixes != nullptr && xfixes->present
                           ? Owned(xcb_xfixes_query_version_reply(
                                 connection_, xcb_xfixes_query_version(connection_, 4, 0), nullptr))
                           : Owned<xcb_xfixes_query_version_reply_t>(nullptr);
  if (!version || !InternAtoms()) {
    LOG_WARN("[Clipboard] XFixes selection events unavailable; the clipboard is not shared");
    return false;
  }
  selection_notify_type_ = static_cast<uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
  on_change_ = std::move(on_change);
  window_ = xcb_generate_id(connection_);
  // Property changes on the window carry the INCR pieces the host receives.
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, display_->root(), -1, -1, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  const size_t request_bytes = size_t{xcb_get_setup(connection_)->maximum_request_length} * 4;
  transfers_ = std::make_shared<X11IncrTransfers>(connection_, atoms_.incr,
                                                  request_bytes - kChangePropertyHeader);
  const xcb_window_t window = window_;
  const uint8_t owner_changed = selection_notify_type_;
  const std::shared_ptr<X11IncrTransfers> transfers = transfers_;
  events_ = display_->Subscribe([=](const xcb_generic_event_t& event) {
    switch (EventType(event)) {
      case XCB_SELECTION_REQUEST:
        return reinterpret_cast<const xcb_selection_request_event_t&>(event).owner == window;
      case XCB_SELECTION_NOTIFY:
        return reinterpret_cast<const xcb_selection_notify_event_t&>(event).requestor == window;
      case XCB_PROPERTY_NOTIFY: {
        const xcb_window_t changed =
            reinterpret_cast<const xcb_property_notify_event_t&>(event).window;
        return changed == window || transfers->Serves(changed);
      }
      default:
        return EventType(event) == owner_changed &&
               reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event).window == window;
    }
  });
  xcb_xfixes_select_selection_input(connection_, window_, atoms_.clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(connection_);
  {
    std::lock_guard<std::mutex> lock(offer_mutex_);
    serving_ = true;
  }
  running_.store(true);
  thread_ = std::thread(&X11ClipboardBackend::Run, this);
  LOG_INFO("[Clipboard] Monitoring started");
  return true;
}

void X11ClipboardBackend::Stop() {
  running_.store(false);
  if (thread_.joinable()) {
    thread_.join();
  }
  std::lock_guard<std::mutex> lock(offer_mutex_);
  if (serving_) {
    serving_ = false;
    // The connection outlives the backend; what the host offered goes with the window.
    xcb_destroy_window(connection_, window_);
    xcb_flush(connection_);
    events_.reset();
    transfers_.reset();
  }
}

void X11ClipboardBackend::Run() {
  while (running_.load()) {
    if (X11Event event = events_->Take(kIdleWait)) {
      Handle(*event);
    } else if (display_->lost()) {
      LOG_WARN("[Clipboard] X display lost; clipboard monitoring ended");
      return;
    }
    transfers_->DropStale(Clock::now());
    while (read_pending_ && running_.load()) {
      const xcb_timestamp_t time = *read_pending_;
      read_pending_.reset();
      ReadClipboard(time);
    }
  }
}

void X11ClipboardBackend::Handle(const xcb_generic_event_t& event) {
  const uint8_t type = EventType(event);
  if (type == XCB_SELECTION_REQUEST) {
    Serve(reinterpret_cast<const xcb_selection_request_event_t&>(event));
  } else if (type == XCB_PROPERTY_NOTIFY) {
    const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if (change.state == XCB_PROPERTY_DELETE && change.window != window_) {
      transfers_->OnPropertyDeleted(change.window, change.atom);
    }
  } else if (type == selection_notify_type_) {
    const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
    // The host's own ownership is no change of the user's, and a vanished owner leaves
    // nothing to read.
    if (notify.owner != window_ && notify.owner != XCB_NONE) {
      read_pending_ = notify.selection_timestamp;
    }
  }
  // Anything else is the tail of an answer that came too late.
}

void X11ClipboardBackend::Serve(const xcb_selection_request_event_t& request) {
  // Clients older than the conventions name no property: the target is used then.
  const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
  std::vector<uint8_t> bytes;
  xcb_atom_t type = XCB_NONE;
  bool answered = false;
  {
    std::lock_guard<std::mutex> lock(offer_mutex_);
    if (request.selection == atoms_.clipboard) {
      if (request.target == atoms_.targets) {
        std::vector<xcb_atom_t> targets = {atoms_.targets};
        if (offer_.is_image) {
          targets.push_back(atoms_.png);
        } else {
          targets.insert(targets.end(), {atoms_.utf8_string, XCB_ATOM_STRING, atoms_.text});
        }
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                            XCB_ATOM_ATOM, 32, static_cast<uint32_t>(targets.size()),
                            targets.data());
        answered = true;
      } else if (offer_.is_image && request.target == atoms_.png) {
        bytes = offer_.png;
        type = atoms_.png;
      } else if (!offer_.is_image &&
                 (request.target == atoms_.utf8_string || request.target == atoms_.text)) {
        bytes.assign(offer_.text.begin(), offer_.text.end());
        type = atoms_.utf8_string;
      } else if (!offer_.is_image && request.target == XCB_ATOM_STRING) {
        const std::string latin1 = Utf8ToLatin1(offer_.text);
        bytes.assign(latin1.begin(), latin1.end());
        type = XCB_ATOM_STRING;
      }
    }
  }
  if (type != XCB_NONE) {
    if (bytes.size() > transfers_->piece_size()) {
      transfers_->Begin(request.requestor, property, type, std::move(bytes));
    } else {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                          static_cast<uint32_t>(bytes.size()), bytes.data());
    }
    answered = true;
  }
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = answered ? property : XCB_NONE;
  xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  xcb_flush(connection_);
}

bool X11ClipboardBackend::TakeOwnership(Offer offer) {
  std::lock_guard<std::mutex> lock(offer_mutex_);
  if (!serving_) {
    return false;
  }
  offer_ = std::move(offer);
  xcb_set_selection_owner(connection_, window_, atoms_.clipboard, XCB_CURRENT_TIME);
  const auto owner = Owned(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, atoms_.clipboard), nullptr));
  return owner && owner->owner == window_;
}

bool X11ClipboardBackend::SetText(const std::string& text) {
  if (text.empty()) {
    return false;
  }
  Offer offer;
  offer.text = text;
  return TakeOwnership(std::move(offer));
}

bool X11ClipboardBackend::SetImage(const std::vector<uint8_t>& png) {
  if (png.empty()) {
    return false;
  }
  if (!PngDecodes(png)) {
    LOG_WARN("[Clipboard] Failed to decode PNG clipboard payload (bytes=%u)",
             static_cast<unsigned>(png.size()));
    return false;
  }
  Offer offer;
  offer.png = png;
  offer.is_image = true;
  return TakeOwnership(std::move(offer));
}

X11Event X11ClipboardBackend::Await(const std::function<bool(const xcb_generic_event_t&)>& wanted,
                                    Clock::time_point deadline) {
  while (running_.load()) {
    const auto now = Clock::now();
    if (now >= deadline) {
      return nullptr;
    }
    const auto wait =
        std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                 std::chrono::milliseconds(kIdleWait));
    X11Event event = events_->Take(wait + std::chrono::milliseconds(1));
    if (!event) {
      if (display_->lost()) {
        return nullptr;
      }
      continue;
    }
    if (wanted(*event)) {
      return event;
    }
    Handle(*event);
  }
  return nullptr;
}

bool X11ClipboardBackend::IsSelectionNotify(const xcb_generic_event_t& event) const {
  return EventType(event) == XCB_SELECTION_NOTIFY &&
         reinterpret_cast<const xcb_selection_notify_event_t&>(event).selection == atoms_.clipboard;
}

std::optional<std::vector<uint8_t>> X11ClipboardBackend::ReadProperty(xcb_atom_t* type) {
  const auto reply =
      Owned(xcb_get_property_reply(connection_,
                                   xcb_get_property(connection_, 1, window_, atoms_.property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                                   nullptr));
  if (!reply) {
    return std::nullopt;
  }
  *type = reply->type;
  const auto* value = static_cast<const uint8_t*>(xcb_get_property_value(reply.get()));
  return std::vector<uint8_t>(value, value + xcb_get_property_value_length(reply.get()));
}

std::optional<std::vector<uint8_t>> X11ClipboardBackend::ReceiveIncr(xcb_atom_t* type) {
  std::vector<uint8_t> bytes;
  for (;;) {
    const X11Event event = Await(
        [this](const xcb_generic_event_t& e) {
          const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(e);
          return EventType(e) == XCB_PROPERTY_NOTIFY && change.window == window_ &&
                 change.atom == atoms_.property && change.state == XCB_PROPERTY_NEW_VALUE;
        },
        Clock::now() + kAnswerLimit);
    xcb_atom_t piece_type = XCB_NONE;
    const auto piece = event ? ReadProperty(&piece_type) : std::nullopt;
    if (!piece) {
      return std::nullopt;
    }
    // The closing empty piece may come without the data's type.
    if (piece->empty()) {
      return bytes;
    }
    *type = piece_type;
    bytes.insert(bytes.end(), piece->begin(), piece->end());
  }
}

std::optional<std::vector<uint8_t>> X11ClipboardBackend::Convert(xcb_atom_t target,
                                                                 xcb_timestamp_t time,
                                                                 xcb_atom_t* type) {
  xcb_convert_selection(connection_, window_, atoms_.clipboard, target, atoms_.property, time);
  xcb_flush(connection_);
  const X11Event event =
      Await([this](const xcb_generic_event_t& e) { return IsSelectionNotify(e); },
            Clock::now() + kAnswerLimit);
  if (!event ||
      reinterpret_cast<const xcb_selection_notify_event_t*>(event.get())->property == XCB_NONE) {
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> bytes = ReadProperty(type);
  // Deleting the INCR property (done by the read) asks the owner for the first piece.
  if (bytes && *type == atoms_.incr) {
    bytes = ReceiveIncr(type);
  }
  return bytes;
}

std::optional<std::string> X11ClipboardBackend::ReadText(const std::vector<xcb_atom_t>& targets,
                                                         xcb_timestamp_t time) {
  // An owner that lists no targets is still asked for the common ones.
  const auto offered = [&](xcb_atom_t target) {
    return targets.empty() || std::find(targets.begin(), targets.end(), target) != targets.end();
  };
  for (const xcb_atom_t target : {atoms_.utf8_string, xcb_atom_t{XCB_ATOM_STRING}, atoms_.text}) {
    if (!offered(target)) {
      continue;
    }
    xcb_atom_t type = XCB_NONE;
    const std::optional<std::vector<uint8_t>> bytes = Convert(target, time, &type);
    if (!bytes) {
      continue;
    }
    const std::string text(bytes->begin(), bytes->end());
    if (type == atoms_.utf8_string) {
      return text;
    }
    if (type == XCB_ATOM_STRING) {
      return Latin1ToUtf8(text);
    }
  }
  return std::nullopt;
}

void X11ClipboardBackend::ReadClipboard(xcb_timestamp_t time) {
  const auto owner = Owned(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, atoms_.clipboard), nullptr));
  if (!owner || owner->owner == window_ || owner->owner == XCB_NONE) {
    return;
  }
  std::vector<xcb_atom_t> targets;
  xcb_atom_t type = XCB_NONE;
  if (const auto list = Convert(atoms_.targets, time, &type); list && type == XCB_ATOM_ATOM) {
    targets.resize(list->size() / sizeof(xcb_atom_t));
    std::memcpy(targets.data(), list->data(), targets.size() * sizeof(xcb_atom_t));
  }
  ClipboardData data;
  if (std::find(targets.begin(), targets.end(), atoms_.png) != targets.end()) {
    if (auto png = Convert(atoms_.png, time, &type); png && !png->empty()) {
      data.image = std::move(*png);
      data.mime_type = kPngMimeType;
      data.has_image = true;
    }
  }
  const bool text_offered =
      targets.empty() || std::any_of(targets.begin(), targets.end(), [&](xcb_atom_t target) {
        return target == atoms_.utf8_string || target == XCB_ATOM_STRING || target == atoms_.text;
      });
  if (text_offered) {
    if (std::optional<std::string> text = ReadText(targets, time); text && !text->empty()) {
      data.text = std::move(*text);
      data.has_text = true;
    }
  }
  if ((data.has_text || data.has_image) && on_change_) {
    on_change_(data);
  }
}

}  // namespace orvane
