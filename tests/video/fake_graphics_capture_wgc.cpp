#include "video/fake_graphics_capture_wgc.h"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::testing {

namespace {

// RO_E_CLOSED, which mingw-w64 leaves out of winerror.h.
constexpr HRESULT kClosed = static_cast<HRESULT>(0x80000013);
// E_ILLEGAL_METHOD_CALL.
constexpr HRESULT kIllegalMethodCall = static_cast<HRESULT>(0x8000000E);

// Every fake runtime object: a reference count and the interfaces ("faces") it answers.
class Object {
 public:
  virtual ~Object() = default;
  ULONG Hold() { return ++references_; }
  ULONG Drop() {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }
  HRESULT Query(REFIID iid, void** out) {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = FaceFor(iid);
    if (*out == nullptr) {
      return E_NOINTERFACE;
    }
    Hold();
    return S_OK;
  }

 protected:
  // The face that answers `iid`, or null; IUnknown and IInspectable get the first.
  virtual void* FaceFor(REFIID iid) = 0;
  static bool IsBase(REFIID iid) {
    return iid == __uuidof(IUnknown) || iid == __uuidof(IInspectable);
  }

 private:
  std::atomic<ULONG> references_{1};
};

// One interface of an Object, laid out as the ABI passes it: the vtable pointer first.
template <class Abi>
struct Face {
  const void* vtbl;
  Object* owner;
  Abi* abi() { return reinterpret_cast<Abi*>(this); }
};

template <class Owner, class Abi>
Owner* OwnerOf(Abi* self) {
  return static_cast<Owner*>(reinterpret_cast<Face<Abi>*>(self)->owner);
}

template <class Abi>
constexpr wgc_abi::UnknownSlots<Abi> kUnknownSlots = {
    [](Abi* self, REFIID iid, void** out) { return OwnerOf<Object>(self)->Query(iid, out); },
    [](Abi* self) { return OwnerOf<Object>(self)->Hold(); },
    [](Abi* self) { return OwnerOf<Object>(self)->Drop(); }};

template <class Abi>
constexpr wgc_abi::InspectableSlots<Abi> kInspectableSlots = {kUnknownSlots<Abi>,
                                                              [](Abi*, ULONG* count, IID** iids) {
                                                                *count = 0;
                                                                *iids = nullptr;
                                                                return S_OK;
                                                              },
                                                              [](Abi*, HSTRING* name) {
                                                                *name = nullptr;
                                                                return S_OK;
                                                              },
                                                              [](Abi*, TrustLevel* level) {
                                                                *level = BaseTrust;
                                                                return S_OK;
                                                              }};

}  // namespace

struct FakeGraphicsCapture::State {
  mutable std::mutex mutex;
  bool modern = true;
  wgc_abi::SizeInt32 monitor{};
  bool unplugged = false;
  bool access_requested = false;
  bool cursor_captured = true;
  bool border_required = true;
  bool border_off_with_consent = false;
  bool started = false;
  // Where the monitor's pictures go: the live pool, which clears this when it closes.
  struct Screen {
    virtual void Show(uint32_t bgra) = 0;

   protected:
    ~Screen() = default;
  };
  Screen* pool = nullptr;
  std::map<int64_t, wgc_abi::IGraphicsCaptureItemClosedHandler*> closed_handlers;
  int64_t next_token = 1;
  std::atomic<int> rule_breaks{0};

  HRESULT Broken(HRESULT hr) {
    ++rule_breaks;
    return hr;
  }
};

using State = FakeGraphicsCapture::State;

namespace {

// wgc_abi::IDirect3DDevice over the capturer's Direct3D 11 device, reachable again through
// wgc_abi::IDirect3DDxgiInterfaceAccess as on Windows.
class Device final : public Object {
 public:
  explicit Device(ComRef<ID3D11Device> device) : device_(std::move(device)) {}
  ComRef<ID3D11Device> d3d() const { return device_; }

  Face<wgc_abi::IDirect3DDevice> device{&kDeviceVtbl, this};
  Face<wgc_abi::IDirect3DDxgiInterfaceAccess> access{&kAccessVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    if (IsBase(iid) || iid == wgc_abi::kIidDirect3DDevice) {
      return &device;
    }
    return iid == wgc_abi::kIidDirect3DDxgiInterfaceAccess ? &access : nullptr;
  }
  static const wgc_abi::IDirect3DDeviceVtbl kDeviceVtbl;
  static const wgc_abi::IDirect3DDxgiInterfaceAccessVtbl kAccessVtbl;

  ComRef<ID3D11Device> device_;
};

const wgc_abi::IDirect3DDeviceVtbl Device::kDeviceVtbl = {
    kInspectableSlots<wgc_abi::IDirect3DDevice>};

const wgc_abi::IDirect3DDxgiInterfaceAccessVtbl Device::kAccessVtbl = {
    kUnknownSlots<wgc_abi::IDirect3DDxgiInterfaceAccess>,
    [](wgc_abi::IDirect3DDxgiInterfaceAccess* self, REFIID iid, void** out) {
      return OwnerOf<Device>(self)->device_->QueryInterface(iid, out);
    }};

Device* DeviceOf(wgc_abi::IDirect3DDevice* given) {
  // A device that does not lead back to a Direct3D 11 device is no device for a pool.
  ComRef<wgc_abi::IDirect3DDxgiInterfaceAccess> access;
  if (given == nullptr ||
      FAILED(given->QueryInterface(wgc_abi::kIidDirect3DDxgiInterfaceAccess, access.PutVoid()))) {
    return nullptr;
  }
  return OwnerOf<Device>(access.get());
}

class Surface final : public Object {
 public:
  explicit Surface(ComRef<ID3D11Texture2D> texture) : texture_(std::move(texture)) {}

  Face<wgc_abi::IDirect3DSurface> surface{&kSurfaceVtbl, this};
  Face<wgc_abi::IDirect3DDxgiInterfaceAccess> access{&kAccessVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    if (IsBase(iid)) {
      return &surface;
    }
    return iid == wgc_abi::kIidDirect3DDxgiInterfaceAccess ? &access : nullptr;
  }
  static const wgc_abi::IDirect3DSurfaceVtbl kSurfaceVtbl;
  static const wgc_abi::IDirect3DDxgiInterfaceAccessVtbl kAccessVtbl;

  ComRef<ID3D11Texture2D> texture_;
};

const wgc_abi::IDirect3DSurfaceVtbl Surface::kSurfaceVtbl = {
    kInspectableSlots<wgc_abi::IDirect3DSurface>};

const wgc_abi::IDirect3DDxgiInterfaceAccessVtbl Surface::kAccessVtbl = {
    kUnknownSlots<wgc_abi::IDirect3DDxgiInterfaceAccess>,
    [](wgc_abi::IDirect3DDxgiInterfaceAccess* self, REFIID iid, void** out) {
      return OwnerOf<Surface>(self)->texture_->QueryInterface(iid, out);
    }};

class Frame final : public Object {
 public:
  Frame(std::shared_ptr<std::atomic<int>> buffers_in_use, ComRef<ID3D11Texture2D> texture,
        wgc_abi::SizeInt32 content)
      : buffers_in_use_(std::move(buffers_in_use)),
        texture_(std::move(texture)),
        content_(content) {
    ++*buffers_in_use_;
  }
  ~Frame() override { ReturnBuffer(); }

  Face<wgc_abi::IDirect3D11CaptureFrame> frame{&kFrameVtbl, this};
  Face<wgc_abi::IClosable> closable{&kClosableVtbl, this};

 private:
  void ReturnBuffer() {
    if (texture_) {
      texture_.Reset();
      --*buffers_in_use_;
    }
  }
  void* FaceFor(REFIID iid) override {
    if (IsBase(iid)) {
      return &frame;
    }
    return iid == wgc_abi::kIidClosable ? &closable : nullptr;
  }
  static const wgc_abi::IDirect3D11CaptureFrameVtbl kFrameVtbl;
  static const wgc_abi::IClosableVtbl kClosableVtbl;

  std::shared_ptr<std::atomic<int>> buffers_in_use_;
  ComRef<ID3D11Texture2D> texture_;
  const wgc_abi::SizeInt32 content_;
};

const wgc_abi::IDirect3D11CaptureFrameVtbl Frame::kFrameVtbl = {
    kInspectableSlots<wgc_abi::IDirect3D11CaptureFrame>,
    [](wgc_abi::IDirect3D11CaptureFrame* self, wgc_abi::IDirect3DSurface** out) {
      Frame* me = OwnerOf<Frame>(self);
      if (!me->texture_) {
        return kClosed;
      }
      *out = (new Surface(me->texture_))->surface.abi();
      return S_OK;
    },
    [](wgc_abi::IDirect3D11CaptureFrame*, int64_t* time) {
      *time = 0;
      return S_OK;
    },
    [](wgc_abi::IDirect3D11CaptureFrame* self, wgc_abi::SizeInt32* size) {
      *size = OwnerOf<Frame>(self)->content_;
      return S_OK;
    }};

const wgc_abi::IClosableVtbl Frame::kClosableVtbl = {kInspectableSlots<wgc_abi::IClosable>,
                                                     [](wgc_abi::IClosable* self) {
                                                       OwnerOf<Frame>(self)->ReturnBuffer();
                                                       return S_OK;
                                                     }};

class Session final : public Object {
 public:
  explicit Session(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Face<wgc_abi::IGraphicsCaptureSession> session{&kSessionVtbl, this};
  Face<wgc_abi::IGraphicsCaptureSession2> cursor{&kCursorVtbl, this};
  Face<wgc_abi::IGraphicsCaptureSession3> border{&kBorderVtbl, this};
  Face<wgc_abi::IClosable> closable{&kClosableVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    if (IsBase(iid)) {
      return &session;
    }
    if (iid == wgc_abi::kIidClosable) {
      return &closable;
    }
    if (state_->modern && iid == wgc_abi::kIidGraphicsCaptureSession2) {
      return &cursor;
    }
    if (state_->modern && iid == wgc_abi::kIidGraphicsCaptureSession3) {
      return &border;
    }
    return nullptr;
  }
  static const wgc_abi::IGraphicsCaptureSessionVtbl kSessionVtbl;
  static const wgc_abi::IGraphicsCaptureSession2Vtbl kCursorVtbl;
  static const wgc_abi::IGraphicsCaptureSession3Vtbl kBorderVtbl;
  static const wgc_abi::IClosableVtbl kClosableVtbl;

  std::shared_ptr<State> state_;
  bool started_ = false;
  bool closed_ = false;
};

const wgc_abi::IGraphicsCaptureSessionVtbl Session::kSessionVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureSession>,
    [](wgc_abi::IGraphicsCaptureSession* self) {
      Session* me = OwnerOf<Session>(self);
      std::lock_guard<std::mutex> lock(me->state_->mutex);
      if (me->closed_) {
        return me->state_->Broken(kClosed);
      }
      if (me->started_) {
        return me->state_->Broken(kIllegalMethodCall);
      }
      me->started_ = true;
      me->state_->started = true;
      return S_OK;
    }};

const wgc_abi::IGraphicsCaptureSession2Vtbl Session::kCursorVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureSession2>,
    [](wgc_abi::IGraphicsCaptureSession2* self, boolean* value) {
      std::lock_guard<std::mutex> lock(OwnerOf<Session>(self)->state_->mutex);
      *value = OwnerOf<Session>(self)->state_->cursor_captured;
      return S_OK;
    },
    [](wgc_abi::IGraphicsCaptureSession2* self, boolean value) {
      std::lock_guard<std::mutex> lock(OwnerOf<Session>(self)->state_->mutex);
      OwnerOf<Session>(self)->state_->cursor_captured = value != 0;
      return S_OK;
    }};

const wgc_abi::IGraphicsCaptureSession3Vtbl Session::kBorderVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureSession3>,
    [](wgc_abi::IGraphicsCaptureSession3* self, boolean* value) {
      std::lock_guard<std::mutex> lock(OwnerOf<Session>(self)->state_->mutex);
      *value = OwnerOf<Session>(self)->state_->border_required;
      return S_OK;
    },
    // Without consent asked for first, the setting succeeds and is ignored.
    [](wgc_abi::IGraphicsCaptureSession3* self, boolean value) {
      State& state = *OwnerOf<Session>(self)->state_;
      std::lock_guard<std::mutex> lock(state.mutex);
      state.border_required = value != 0;
      state.border_off_with_consent = value == 0 && state.access_requested;
      return S_OK;
    }};

const wgc_abi::IClosableVtbl Session::kClosableVtbl = {
    kInspectableSlots<wgc_abi::IClosable>, [](wgc_abi::IClosable* self) {
      Session* me = OwnerOf<Session>(self);
      std::lock_guard<std::mutex> lock(me->state_->mutex);
      me->closed_ = true;
      me->state_->started = false;
      return S_OK;
    }};

class Pool final : public Object, public State::Screen {
 public:
  Pool(std::shared_ptr<State> state, ComRef<ID3D11Device> device, int32_t buffers,
       wgc_abi::SizeInt32 size)
      : state_(std::move(state)), device_(std::move(device)), buffers_(buffers), size_(size) {}
  ~Pool() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    Close();
  }

  Face<wgc_abi::IDirect3D11CaptureFramePool> pool{&kPoolVtbl, this};
  Face<wgc_abi::IClosable> closable{&kClosableVtbl, this};

  // Called with the state's lock held.
  void Show(uint32_t bgra) override {
    if (closed_ || buffers_in_use_->load() >= buffers_) {
      return;
    }
    const wgc_abi::SizeInt32 content = state_->monitor;
    std::vector<uint32_t> pixels(size_t(size_.Width) * size_.Height, 0);
    for (int32_t y = 0; y < size_.Height && y < content.Height; ++y) {
      for (int32_t x = 0; x < size_.Width && x < content.Width; ++x) {
        const bool cursor = state_->cursor_captured && x >= FakeGraphicsCapture::kCursorX &&
                            x < FakeGraphicsCapture::kCursorX + FakeGraphicsCapture::kCursorSize &&
                            y >= FakeGraphicsCapture::kCursorY &&
                            y < FakeGraphicsCapture::kCursorY + FakeGraphicsCapture::kCursorSize;
        pixels[size_t(y) * size_.Width + x] = cursor ? FakeGraphicsCapture::kCursorBgra : bgra;
      }
    }
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(size_.Width);
    desc.Height = static_cast<UINT>(size_.Height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), desc.Width * 4, 0};
    ComRef<ID3D11Texture2D> texture;
    if (FAILED(device_->CreateTexture2D(&desc, &data, texture.Put()))) {
      return;
    }
    queued_.push_back(new Frame(buffers_in_use_, std::move(texture), content));
  }

 private:
  void Close() {
    closed_ = true;
    for (Frame* frame : queued_) {
      frame->Drop();
    }
    queued_.clear();
    if (state_->pool == this) {
      state_->pool = nullptr;
    }
  }
  void* FaceFor(REFIID iid) override {
    if (IsBase(iid)) {
      return &pool;
    }
    return iid == wgc_abi::kIidClosable ? &closable : nullptr;
  }
  static HRESULT STDMETHODCALLTYPE Recreate(wgc_abi::IDirect3D11CaptureFramePool* self,
                                            wgc_abi::IDirect3DDevice* device,
                                            wgc_abi::DirectXPixelFormat format, INT32 buffers,
                                            wgc_abi::SizeInt32 size) {
    Pool* me = OwnerOf<Pool>(self);
    State& state = *me->state_;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (me->closed_) {
      return state.Broken(kClosed);
    }
    Device* wrapped = DeviceOf(device);
    if (wrapped == nullptr || format != wgc_abi::DirectXPixelFormat::kB8G8R8A8UIntNormalized ||
        buffers < 1 || size.Width <= 0 || size.Height <= 0) {
      return state.Broken(E_INVALIDARG);
    }
    for (Frame* frame : me->queued_) {
      frame->Drop();
    }
    me->queued_.clear();
    me->device_ = wrapped->d3d();
    me->buffers_ = buffers;
    me->size_ = size;
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE TryGetNextFrame(wgc_abi::IDirect3D11CaptureFramePool* self,
                                                   wgc_abi::IDirect3D11CaptureFrame** out) {
    Pool* me = OwnerOf<Pool>(self);
    std::lock_guard<std::mutex> lock(me->state_->mutex);
    if (me->closed_) {
      return me->state_->Broken(kClosed);
    }
    *out = nullptr;
    if (!me->queued_.empty()) {
      *out = me->queued_.front()->frame.abi();
      me->queued_.pop_front();
    }
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE CreateCaptureSession(wgc_abi::IDirect3D11CaptureFramePool* self,
                                                        wgc_abi::IGraphicsCaptureItem* item,
                                                        wgc_abi::IGraphicsCaptureSession** out) {
    Pool* me = OwnerOf<Pool>(self);
    std::lock_guard<std::mutex> lock(me->state_->mutex);
    if (me->closed_) {
      return me->state_->Broken(kClosed);
    }
    if (item == nullptr) {
      return me->state_->Broken(E_INVALIDARG);
    }
    *out = (new Session(me->state_))->session.abi();
    return S_OK;
  }
  static const wgc_abi::IDirect3D11CaptureFramePoolVtbl kPoolVtbl;
  static const wgc_abi::IClosableVtbl kClosableVtbl;

  std::shared_ptr<State> state_;
  ComRef<ID3D11Device> device_;
  int32_t buffers_;
  wgc_abi::SizeInt32 size_;
  std::shared_ptr<std::atomic<int>> buffers_in_use_ = std::make_shared<std::atomic<int>>(0);
  std::deque<Frame*> queued_;
  bool closed_ = false;
};

const wgc_abi::IDirect3D11CaptureFramePoolVtbl Pool::kPoolVtbl = {
    kInspectableSlots<wgc_abi::IDirect3D11CaptureFramePool>,
    &Recreate,
    &TryGetNextFrame,
    [](wgc_abi::IDirect3D11CaptureFramePool*, IUnknown*, EventRegistrationToken*) {
      return E_NOTIMPL;
    },
    [](wgc_abi::IDirect3D11CaptureFramePool*, EventRegistrationToken) { return E_NOTIMPL; },
    &CreateCaptureSession};

const wgc_abi::IClosableVtbl Pool::kClosableVtbl = {
    kInspectableSlots<wgc_abi::IClosable>, [](wgc_abi::IClosable* self) {
      Pool* me = OwnerOf<Pool>(self);
      std::lock_guard<std::mutex> lock(me->state_->mutex);
      me->Close();
      return S_OK;
    }};

class Item final : public Object {
 public:
  explicit Item(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Face<wgc_abi::IGraphicsCaptureItem> item{&kItemVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    return IsBase(iid) || iid == wgc_abi::kIidGraphicsCaptureItem ? &item : nullptr;
  }
  static HRESULT STDMETHODCALLTYPE AddClosed(wgc_abi::IGraphicsCaptureItem* self,
                                             wgc_abi::IGraphicsCaptureItemClosedHandler* handler,
                                             EventRegistrationToken* token) {
    State& state = *OwnerOf<Item>(self)->state_;
    if (handler == nullptr || token == nullptr) {
      return state.Broken(E_INVALIDARG);
    }
    // The system keeps the handler as the delegate type it was declared with.
    ComRef<wgc_abi::IGraphicsCaptureItemClosedHandler> delegate;
    if (FAILED(handler->QueryInterface(wgc_abi::kIidGraphicsCaptureItemClosedHandler,
                                       delegate.PutVoid()))) {
      return state.Broken(E_NOINTERFACE);
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    token->value = state.next_token++;
    state.closed_handlers[token->value] = delegate.get();
    delegate.get()->AddRef();
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE RemoveClosed(wgc_abi::IGraphicsCaptureItem* self,
                                                EventRegistrationToken token) {
    State& state = *OwnerOf<Item>(self)->state_;
    wgc_abi::IGraphicsCaptureItemClosedHandler* handler = nullptr;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      const auto found = state.closed_handlers.find(token.value);
      if (found == state.closed_handlers.end()) {
        return S_OK;  // removing an unknown token is not an error
      }
      handler = found->second;
      state.closed_handlers.erase(found);
    }
    handler->Release();
    return S_OK;
  }
  static const wgc_abi::IGraphicsCaptureItemVtbl kItemVtbl;

  std::shared_ptr<State> state_;
};

const wgc_abi::IGraphicsCaptureItemVtbl Item::kItemVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureItem>,
    [](wgc_abi::IGraphicsCaptureItem*, HSTRING*) { return E_NOTIMPL; },
    [](wgc_abi::IGraphicsCaptureItem* self, wgc_abi::SizeInt32* size) {
      std::lock_guard<std::mutex> lock(OwnerOf<Item>(self)->state_->mutex);
      *size = OwnerOf<Item>(self)->state_->monitor;
      return S_OK;
    },
    &AddClosed, &RemoveClosed};

class ItemInterop final : public Object {
 public:
  explicit ItemInterop(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Face<wgc_abi::IGraphicsCaptureItemInterop> interop{&kInteropVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    return IsBase(iid) || iid == wgc_abi::kIidGraphicsCaptureItemInterop ? &interop : nullptr;
  }
  static const wgc_abi::IGraphicsCaptureItemInteropVtbl kInteropVtbl;

  std::shared_ptr<State> state_;
};

const wgc_abi::IGraphicsCaptureItemInteropVtbl ItemInterop::kInteropVtbl = {
    kUnknownSlots<wgc_abi::IGraphicsCaptureItemInterop>,
    [](wgc_abi::IGraphicsCaptureItemInterop*, HWND, REFIID, void**) { return E_NOTIMPL; },
    [](wgc_abi::IGraphicsCaptureItemInterop* self, HMONITOR monitor, REFIID iid, void** out) {
      State& state = *OwnerOf<ItemInterop>(self)->state_;
      if (out == nullptr) {
        return state.Broken(E_POINTER);
      }
      *out = nullptr;
      if (monitor == nullptr) {
        return state.Broken(E_INVALIDARG);
      }
      if (iid != wgc_abi::kIidGraphicsCaptureItem) {
        return state.Broken(E_NOINTERFACE);
      }
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.unplugged) {
          return E_INVALIDARG;
        }
      }
      *out = (new Item(OwnerOf<ItemInterop>(self)->state_))->item.abi();
      return S_OK;
    }};

class PoolFactory final : public Object {
 public:
  explicit PoolFactory(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Face<wgc_abi::IDirect3D11CaptureFramePoolStatics2> statics{&kStaticsVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    return IsBase(iid) || iid == wgc_abi::kIidDirect3D11CaptureFramePoolStatics2 ? &statics
                                                                                 : nullptr;
  }
  static HRESULT STDMETHODCALLTYPE CreateFreeThreaded(
      wgc_abi::IDirect3D11CaptureFramePoolStatics2* self, wgc_abi::IDirect3DDevice* device,
      wgc_abi::DirectXPixelFormat format, INT32 buffers, wgc_abi::SizeInt32 size,
      wgc_abi::IDirect3D11CaptureFramePool** out) {
    const std::shared_ptr<State>& state = OwnerOf<PoolFactory>(self)->state_;
    Device* wrapped = DeviceOf(device);
    if (out == nullptr || wrapped == nullptr ||
        format != wgc_abi::DirectXPixelFormat::kB8G8R8A8UIntNormalized || buffers < 1 ||
        size.Width <= 0 || size.Height <= 0) {
      return state->Broken(E_INVALIDARG);
    }
    auto* pool = new Pool(state, wrapped->d3d(), buffers, size);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->pool = pool;
    *out = pool->pool.abi();
    return S_OK;
  }
  static const wgc_abi::IDirect3D11CaptureFramePoolStatics2Vtbl kStaticsVtbl;

  std::shared_ptr<State> state_;
};

const wgc_abi::IDirect3D11CaptureFramePoolStatics2Vtbl PoolFactory::kStaticsVtbl = {
    kInspectableSlots<wgc_abi::IDirect3D11CaptureFramePoolStatics2>, &CreateFreeThreaded};

// A request that has completed; the capturer only lets it go.
class Operation final : public Object {
 public:
  Face<wgc_abi::IGraphicsCaptureSessionStatics> face{&kVtbl, this};

 private:
  void* FaceFor(REFIID iid) override { return IsBase(iid) ? &face : nullptr; }
  static const wgc_abi::IGraphicsCaptureSessionStaticsVtbl kVtbl;
};

const wgc_abi::IGraphicsCaptureSessionStaticsVtbl Operation::kVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureSessionStatics>,
    [](wgc_abi::IGraphicsCaptureSessionStatics*, boolean*) { return E_NOTIMPL; }};

class AccessFactory final : public Object {
 public:
  explicit AccessFactory(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Face<wgc_abi::IGraphicsCaptureAccessStatics> statics{&kStaticsVtbl, this};

 private:
  void* FaceFor(REFIID iid) override {
    return IsBase(iid) || iid == wgc_abi::kIidGraphicsCaptureAccessStatics ? &statics : nullptr;
  }
  static const wgc_abi::IGraphicsCaptureAccessStaticsVtbl kStaticsVtbl;

  std::shared_ptr<State> state_;
};

const wgc_abi::IGraphicsCaptureAccessStaticsVtbl AccessFactory::kStaticsVtbl = {
    kInspectableSlots<wgc_abi::IGraphicsCaptureAccessStatics>,
    [](wgc_abi::IGraphicsCaptureAccessStatics* self, wgc_abi::GraphicsCaptureAccessKind kind,
       IInspectable** operation) {
      State& state = *OwnerOf<AccessFactory>(self)->state_;
      if (operation == nullptr) {
        return state.Broken(E_POINTER);
      }
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.access_requested |= kind == wgc_abi::GraphicsCaptureAccessKind::kBorderless;
      }
      *operation = reinterpret_cast<IInspectable*>((new Operation())->face.abi());
      return S_OK;
    }};

// Hands out a new object's face with the object's first reference.
template <class Abi>
HRESULT Hand(Face<Abi>& face, ComRef<Abi>& out) {
  *out.Put() = face.abi();
  return S_OK;
}

}  // namespace

FakeGraphicsCapture::FakeGraphicsCapture(int32_t width, int32_t height, bool modern)
    : state_(std::make_shared<State>()) {
  state_->modern = modern;
  state_->monitor = {width, height};
}

FakeGraphicsCapture::~FakeGraphicsCapture() = default;

GraphicsCaptureRuntime FakeGraphicsCapture::Runtime() const {
  GraphicsCaptureRuntime runtime;
  const std::shared_ptr<State> state = state_;
  runtime.support = [] { return S_OK; };
  runtime.item_interop = [state](ComRef<wgc_abi::IGraphicsCaptureItemInterop>& out) {
    auto* object = new ItemInterop(state);
    return Hand(object->interop, out);
  };
  runtime.frame_pools = [state](ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2>& out) {
    auto* object = new PoolFactory(state);
    return Hand(object->statics, out);
  };
  runtime.access = [state](ComRef<wgc_abi::IGraphicsCaptureAccessStatics>& out) {
    if (!state->modern) {
      return REGDB_E_CLASSNOTREG;
    }
    auto* object = new AccessFactory(state);
    return Hand(object->statics, out);
  };
  runtime.direct3d_device = [state](IDXGIDevice* dxgi, ComRef<IInspectable>& out) {
    ComRef<ID3D11Device> d3d;
    if (dxgi == nullptr || FAILED(dxgi->QueryInterface(__uuidof(ID3D11Device), d3d.PutVoid()))) {
      return state->Broken(E_INVALIDARG);
    }
    auto* device = new Device(std::move(d3d));
    *out.Put() = reinterpret_cast<IInspectable*>(device->device.abi());
    return S_OK;
  };
  return runtime;
}

void FakeGraphicsCapture::Present(uint32_t bgra) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->unplugged && state_->started && state_->pool != nullptr) {
    state_->pool->Show(bgra);
  }
}

void FakeGraphicsCapture::Resize(int32_t width, int32_t height) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->monitor = {width, height};
}

void FakeGraphicsCapture::Unplug() {
  std::vector<wgc_abi::IGraphicsCaptureItemClosedHandler*> handlers;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->unplugged = true;
    for (const auto& [token, handler] : state_->closed_handlers) {
      handler->AddRef();
      handlers.push_back(handler);
    }
  }
  std::thread system([&] {
    for (wgc_abi::IGraphicsCaptureItemClosedHandler* handler : handlers) {
      handler->Invoke(nullptr, nullptr);
      handler->Release();
    }
  });
  system.join();
}

bool FakeGraphicsCapture::border_shown() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return !state_->modern || state_->border_required || !state_->border_off_with_consent;
}

int FakeGraphicsCapture::closed_handlers() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return static_cast<int>(state_->closed_handlers.size());
}

int FakeGraphicsCapture::rule_breaks() const {
  return state_->rule_breaks.load();
}

}  // namespace orvane::testing
