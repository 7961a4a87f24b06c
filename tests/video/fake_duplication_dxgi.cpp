#include "video/fake_duplication_dxgi.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "video/capture_texture_d3d11.h"
#include "video/letter_pixels.h"

namespace orvane::testing {

struct FakeDxgiDesktop::OutputState {
  size_t adapter = 0;
  Monitor monitor;
  // The picture the next acquire presents, and whether only the pointer moved.
  std::deque<std::vector<std::string>> drawn;
  // The rectangles each drawing changed, in the desktop image of the monitor.
  std::deque<std::vector<RECT>> dirty;
  std::deque<bool> updates;  // true: pointer only
  int live_duplications = 0;
};

namespace {

// IUnknown and IDXGIObject for the fakes below; `Interface` is the most derived interface
// and Implements names every other one the object answers to.
template <class Interface>
class DxgiObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (id == __uuidof(IUnknown) || id == __uuidof(IDXGIObject) || Implements(id)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }

 protected:
  virtual ~DxgiObject() = default;
  virtual bool Implements(REFIID id) const = 0;

 private:
  std::atomic<ULONG> references_{1};
};

RECT WholeImage(const std::vector<std::string>& picture) {
  return RECT{0, 0, static_cast<LONG>(picture[0].size()), static_cast<LONG>(picture.size())};
}

RECT DesktopRect(const FakeDxgiDesktop::Monitor& monitor) {
  const LONG width = static_cast<LONG>(monitor.picture[0].size());
  const LONG height = static_cast<LONG>(monitor.picture.size());
  return RECT{monitor.left, monitor.top, monitor.left + width, monitor.top + height};
}

}  // namespace

class FakeDuplication final : public DxgiObject<IDXGIOutputDuplication> {
 public:
  FakeDuplication(FakeDxgiDesktop& desktop, std::shared_ptr<FakeDxgiDesktop::OutputState> output,
                  ComRef<ID3D11Device> device)
      : desktop_(desktop),
        output_(std::move(output)),
        device_(std::move(device)),
        generation_(desktop.desktop_generation_) {
    ++output_->live_duplications;
    // The first acquire shows what the monitor shows now, all of it dirty.
    output_->drawn.assign(1, output_->monitor.picture);
    output_->dirty.assign(1, {WholeImage(output_->monitor.picture)});
    output_->updates.assign(1, false);
  }

  void STDMETHODCALLTYPE GetDesc(DXGI_OUTDUPL_DESC* desc) override {
    uint32_t width = 0;
    uint32_t height = 0;
    FakeDxgiDesktop::ScanOut(output_->monitor.picture, output_->monitor.rotation, width, height);
    *desc = {};
    desc->ModeDesc.Width = width;
    desc->ModeDesc.Height = height;
    desc->ModeDesc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc->Rotation = output_->monitor.rotation;
    desc->DesktopImageInSystemMemory = FALSE;
  }

  HRESULT STDMETHODCALLTYPE AcquireNextFrame(UINT, DXGI_OUTDUPL_FRAME_INFO* info,
                                             IDXGIResource** resource) override {
    if (info == nullptr || resource == nullptr) {
      return E_INVALIDARG;
    }
    if (generation_ != desktop_.desktop_generation_) {
      return DXGI_ERROR_ACCESS_LOST;
    }
    if (held_) {
      ++desktop_.record_.rule_breaks;
      return DXGI_ERROR_INVALID_CALL;
    }
    *info = {};
    *resource = nullptr;
    if (output_->updates.empty()) {
      return DXGI_ERROR_WAIT_TIMEOUT;
    }
    const bool pointer_only = output_->updates.front();
    output_->updates.pop_front();
    if (pointer_only) {
      info->LastMouseUpdateTime.QuadPart = ++desktop_.present_clock_;
      info->PointerPosition.Visible = TRUE;
    } else {
      const HRESULT hr = Present(output_->drawn.front());
      output_->drawn.pop_front();
      held_dirty_ = std::move(output_->dirty.front());
      output_->dirty.pop_front();
      if (FAILED(hr)) {
        return hr;
      }
      info->LastPresentTime.QuadPart = ++desktop_.present_clock_;
      info->AccumulatedFrames = 1;
      info->TotalMetadataBufferSize = static_cast<UINT>(held_dirty_.size() * sizeof(RECT));
    }
    if (pointer_only) {
      held_dirty_.clear();
    }
    held_ = true;
    ++desktop_.record_.frames_acquired;
    return texture_.get()->QueryInterface(__uuidof(IDXGIResource),
                                          reinterpret_cast<void**>(resource));
  }

  HRESULT STDMETHODCALLTYPE ReleaseFrame() override {
    if (generation_ != desktop_.desktop_generation_) {
      return DXGI_ERROR_ACCESS_LOST;
    }
    if (!held_) {
      ++desktop_.record_.rule_breaks;
      return DXGI_ERROR_INVALID_CALL;
    }
    held_ = false;
    ++desktop_.record_.frames_released;
    return S_OK;
  }

  // Metadata belongs to the held frame; a buffer too small for it is refused with the size
  // it needs. This desktop never moves anything, so there are no move rectangles.
  HRESULT STDMETHODCALLTYPE GetFrameDirtyRects(UINT size, RECT* rects, UINT* required) override {
    return CopyMetadata(held_dirty_.data(), held_dirty_.size() * sizeof(RECT), size, rects,
                        required);
  }
  HRESULT STDMETHODCALLTYPE GetFrameMoveRects(UINT size, DXGI_OUTDUPL_MOVE_RECT* moves,
                                              UINT* required) override {
    return CopyMetadata(nullptr, 0, size, moves, required);
  }
  HRESULT STDMETHODCALLTYPE GetFramePointerShape(UINT, void*, UINT*,
                                                 DXGI_OUTDUPL_POINTER_SHAPE_INFO*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE MapDesktopSurface(DXGI_MAPPED_RECT*) override {
    return DXGI_ERROR_UNSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE UnMapDesktopSurface() override { return DXGI_ERROR_INVALID_CALL; }

 protected:
  bool Implements(REFIID id) const override { return id == __uuidof(IDXGIOutputDuplication); }

 private:
  ~FakeDuplication() override { --output_->live_duplications; }

  // The panel's image of `picture` into the desktop texture, made on first use.
  HRESULT Present(const std::vector<std::string>& picture) {
    uint32_t width = 0;
    uint32_t height = 0;
    const std::vector<uint8_t> bytes =
        FakeDxgiDesktop::ScanOut(picture, output_->monitor.rotation, width, height);
    if (!texture_) {
      D3D11_TEXTURE2D_DESC desc{};
      desc.Width = width;
      desc.Height = height;
      desc.MipLevels = 1;
      desc.ArraySize = 1;
      desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
      desc.SampleDesc = {1, 0};
      desc.Usage = D3D11_USAGE_DEFAULT;
      desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
      const HRESULT hr = device_->CreateTexture2D(&desc, nullptr, texture_.Put());
      if (FAILED(hr)) {
        return hr;
      }
    }
    ComRef<ID3D11DeviceContext> context;
    device_->GetImmediateContext(context.Put());
    context->UpdateSubresource(texture_.get(), 0, nullptr, bytes.data(), width * 4, 0);
    return S_OK;
  }

  HRESULT CopyMetadata(const void* metadata, size_t bytes, UINT size, void* buffer,
                       UINT* required) {
    if (generation_ != desktop_.desktop_generation_) {
      return DXGI_ERROR_ACCESS_LOST;
    }
    if (!held_) {
      ++desktop_.record_.rule_breaks;
      return DXGI_ERROR_INVALID_CALL;
    }
    if (required == nullptr || (size > 0 && buffer == nullptr)) {
      return E_INVALIDARG;
    }
    *required = static_cast<UINT>(bytes);
    if (size < bytes) {
      return DXGI_ERROR_MORE_DATA;
    }
    if (bytes > 0) {
      std::memcpy(buffer, metadata, bytes);
    }
    return S_OK;
  }

  FakeDxgiDesktop& desktop_;
  std::shared_ptr<FakeDxgiDesktop::OutputState> output_;
  ComRef<ID3D11Device> device_;
  ComRef<ID3D11Texture2D> texture_;
  const uint64_t generation_;
  bool held_ = false;
  std::vector<RECT> held_dirty_;
};

class FakeOutput final : public DxgiObject<IDXGIOutput1> {
 public:
  FakeOutput(FakeDxgiDesktop& desktop, std::shared_ptr<FakeDxgiDesktop::OutputState> output)
      : desktop_(desktop), output_(std::move(output)) {}

  HRESULT STDMETHODCALLTYPE GetDesc(DXGI_OUTPUT_DESC* desc) override {
    if (desc == nullptr) {
      return E_INVALIDARG;
    }
    *desc = {};
    std::wcscpy(desc->DeviceName, L"\\\\.\\DISPLAY");
    desc->DesktopCoordinates = DesktopRect(output_->monitor);
    desc->AttachedToDesktop = TRUE;
    desc->Rotation = output_->monitor.rotation;
    desc->Monitor = output_->monitor.handle;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DuplicateOutput(IUnknown* device,
                                            IDXGIOutputDuplication** duplication) override {
    if (device == nullptr || duplication == nullptr) {
      return E_INVALIDARG;
    }
    *duplication = nullptr;
    ComRef<ID3D11Device> d3d_device;
    if (FAILED(device->QueryInterface(__uuidof(ID3D11Device), d3d_device.PutVoid()))) {
      return E_INVALIDARG;
    }
    const auto made_on = desktop_.device_adapters_.find(d3d_device.get());
    if (made_on == desktop_.device_adapters_.end() || made_on->second != output_->adapter) {
      return E_INVALIDARG;
    }
    if (output_->live_duplications > 0) {
      return E_INVALIDARG;
    }
    if (desktop_.secure_desktop_) {
      return E_ACCESSDENIED;
    }
    ++desktop_.record_.duplications;
    *duplication = new FakeDuplication(desktop_, output_, d3d_device);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDisplayModeList(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindClosestMatchingMode(const DXGI_MODE_DESC*, DXGI_MODE_DESC*,
                                                    IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE WaitForVBlank() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TakeOwnership(IUnknown*, WINBOOL) override { return E_NOTIMPL; }
  void STDMETHODCALLTYPE ReleaseOwnership() override {}
  HRESULT STDMETHODCALLTYPE GetGammaControlCapabilities(DXGI_GAMMA_CONTROL_CAPABILITIES*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetGammaControl(const DXGI_GAMMA_CONTROL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetGammaControl(DXGI_GAMMA_CONTROL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDisplaySurface(IDXGISurface*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData(IDXGISurface*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayModeList1(DXGI_FORMAT, UINT, UINT*,
                                                DXGI_MODE_DESC1*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindClosestMatchingMode1(const DXGI_MODE_DESC1*, DXGI_MODE_DESC1*,
                                                     IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData1(IDXGIResource*) override { return E_NOTIMPL; }

 protected:
  bool Implements(REFIID id) const override {
    return id == __uuidof(IDXGIOutput) || id == __uuidof(IDXGIOutput1);
  }

 private:
  FakeDxgiDesktop& desktop_;
  std::shared_ptr<FakeDxgiDesktop::OutputState> output_;
};

namespace {

class FakeAdapter final : public DxgiObject<IDXGIAdapter1> {
 public:
  FakeAdapter(FakeDxgiDesktop& desktop,
              std::vector<std::shared_ptr<FakeDxgiDesktop::OutputState>> outputs)
      : desktop_(desktop), outputs_(std::move(outputs)) {}

  HRESULT STDMETHODCALLTYPE EnumOutputs(UINT index, IDXGIOutput** output) override {
    if (output == nullptr) {
      return E_INVALIDARG;
    }
    *output = nullptr;
    if (index >= outputs_.size()) {
      return DXGI_ERROR_NOT_FOUND;
    }
    *output = new FakeOutput(desktop_, outputs_[index]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDesc(DXGI_ADAPTER_DESC* desc) override {
    *desc = {};
    std::wcscpy(desc->Description, L"Contract adapter");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1* desc) override {
    *desc = {};
    std::wcscpy(desc->Description, L"Contract adapter");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CheckInterfaceSupport(REFGUID, LARGE_INTEGER*) override {
    return DXGI_ERROR_UNSUPPORTED;
  }

 protected:
  bool Implements(REFIID id) const override {
    return id == __uuidof(IDXGIAdapter) || id == __uuidof(IDXGIAdapter1);
  }

 private:
  FakeDxgiDesktop& desktop_;
  std::vector<std::shared_ptr<FakeDxgiDesktop::OutputState>> outputs_;
};

class FakeFactory final : public DxgiObject<IDXGIFactory1> {
 public:
  explicit FakeFactory(std::vector<ComRef<IDXGIAdapter1>> adapters)
      : adapters_(std::move(adapters)) {}

  HRESULT STDMETHODCALLTYPE EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override {
    if (adapter == nullptr) {
      return E_INVALIDARG;
    }
    *adapter = nullptr;
    if (index >= adapters_.size()) {
      return DXGI_ERROR_NOT_FOUND;
    }
    *adapter = adapters_[index].get();
    (*adapter)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumAdapters(UINT index, IDXGIAdapter** adapter) override {
    return EnumAdapters1(index, reinterpret_cast<IDXGIAdapter1**>(adapter));
  }
  WINBOOL STDMETHODCALLTYPE IsCurrent() override { return TRUE; }
  HRESULT STDMETHODCALLTYPE MakeWindowAssociation(HWND, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindowAssociation(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateSwapChain(IUnknown*, DXGI_SWAP_CHAIN_DESC*,
                                            IDXGISwapChain**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateSoftwareAdapter(HMODULE, IDXGIAdapter**) override {
    return E_NOTIMPL;
  }

 protected:
  bool Implements(REFIID id) const override {
    return id == __uuidof(IDXGIFactory) || id == __uuidof(IDXGIFactory1);
  }

 private:
  std::vector<ComRef<IDXGIAdapter1>> adapters_;
};

}  // namespace

FakeDxgiDesktop::FakeDxgiDesktop(std::vector<std::vector<Monitor>> adapters,
                                 std::vector<HMONITOR> monitor_order)
    : monitor_order_(std::move(monitor_order)) {
  for (size_t adapter = 0; adapter < adapters.size(); ++adapter) {
    std::vector<std::shared_ptr<OutputState>> outputs;
    for (Monitor& monitor : adapters[adapter]) {
      auto state = std::make_shared<OutputState>();
      state->adapter = adapter;
      state->monitor = std::move(monitor);
      outputs.push_back(state);
    }
    ComRef<IDXGIAdapter1> object;
    *object.Put() = new FakeAdapter(*this, outputs);
    adapter_objects_.push_back(object);
    adapters_.push_back(std::move(outputs));
  }
}

FakeDxgiDesktop::~FakeDxgiDesktop() = default;

DuplicationApi FakeDxgiDesktop::Api() {
  DuplicationApi api;
  api.create_factory = [this](ComRef<IDXGIFactory1>& factory) {
    *factory.Put() = new FakeFactory(adapter_objects_);
    return S_OK;
  };
  api.create_device = [this](IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                             ComRef<ID3D11DeviceContext>& context) {
    return CreateDevice(adapter, device, context);
  };
  api.monitor_at_index = [this](uint32_t index) -> HMONITOR {
    return index < monitor_order_.size() ? monitor_order_[index] : nullptr;
  };
  api.input_desktop_is_current = [this] { return !secure_desktop_; };
  api.tick_ms = [this] { return now_ms_; };
  return api;
}

HRESULT FakeDxgiDesktop::CreateDevice(IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                                      ComRef<ID3D11DeviceContext>& context) {
  // Without an adapter the system picks the default one, the first.
  size_t made_on = 0;
  if (adapter != nullptr) {
    made_on = adapter_objects_.size();
    for (size_t index = 0; index < adapter_objects_.size(); ++index) {
      if (static_cast<IDXGIAdapter*>(adapter_objects_[index].get()) == adapter) {
        made_on = index;
      }
    }
    if (made_on == adapter_objects_.size()) {
      return E_INVALIDARG;
    }
  }
  // The devices themselves are the system's own, so that the textures are real.
  const HRESULT hr = CreateBgraCaptureDevice(nullptr, device, context);
  if (SUCCEEDED(hr)) {
    device_adapters_[device.get()] = made_on;
  }
  return hr;
}

FakeDxgiDesktop::OutputState* FakeDxgiDesktop::Find(HMONITOR monitor) {
  for (const auto& outputs : adapters_) {
    for (const auto& output : outputs) {
      if (output->monitor.handle == monitor) {
        return output.get();
      }
    }
  }
  return nullptr;
}

void FakeDxgiDesktop::Draw(HMONITOR monitor, std::vector<std::string> picture,
                           std::vector<RECT> dirty) {
  OutputState* output = Find(monitor);
  output->monitor.picture = picture;
  output->dirty.push_back(dirty.empty() ? std::vector<RECT>{WholeImage(picture)} : dirty);
  output->drawn.push_back(std::move(picture));
  output->updates.push_back(false);
}

void FakeDxgiDesktop::MovePointer(HMONITOR monitor) {
  Find(monitor)->updates.push_back(true);
}

void FakeDxgiDesktop::SwitchToSecureDesktop() {
  secure_desktop_ = true;
  ++desktop_generation_;
}

void FakeDxgiDesktop::SwitchToUserDesktop() {
  secure_desktop_ = false;
  ++desktop_generation_;
}

std::vector<uint8_t> FakeDxgiDesktop::ScanOut(const std::vector<std::string>& picture,
                                              DXGI_MODE_ROTATION rotation, uint32_t& width,
                                              uint32_t& height) {
  const uint32_t desktop_width = static_cast<uint32_t>(picture[0].size());
  const uint32_t desktop_height = static_cast<uint32_t>(picture.size());
  const bool sideways =
      rotation == DXGI_MODE_ROTATION_ROTATE90 || rotation == DXGI_MODE_ROTATION_ROTATE270;
  width = sideways ? desktop_height : desktop_width;
  height = sideways ? desktop_width : desktop_height;
  std::vector<uint8_t> bytes(size_t{width} * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      // The desktop pixel the panel shows at (x, y): the desktop turned back by the
      // output's rotation.
      uint32_t from_x = x;
      uint32_t from_y = y;
      switch (rotation) {
        case DXGI_MODE_ROTATION_ROTATE90:
          from_x = desktop_width - 1 - y;
          from_y = x;
          break;
        case DXGI_MODE_ROTATION_ROTATE180:
          from_x = desktop_width - 1 - x;
          from_y = desktop_height - 1 - y;
          break;
        case DXGI_MODE_ROTATION_ROTATE270:
          from_x = y;
          from_y = desktop_height - 1 - x;
          break;
        default:
          break;
      }
      PutLetter(&bytes[(size_t{y} * width + x) * 4], picture[from_y][from_x]);
    }
  }
  return bytes;
}

}  // namespace orvane::testing
