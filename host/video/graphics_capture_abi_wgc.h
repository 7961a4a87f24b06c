#pragma once

// The Windows Runtime ABI of Windows.Graphics.Capture and its Direct3D 11 interop, which
// mingw-w64's headers do not declare. Each interface is a vtable pointer and a table of
// stdcall slots in the order of the Windows SDK's metadata; the static_asserts pin every
// slot that is called, so a shifted declaration fails to compile instead of calling the
// wrong method. Only the slots up to the last one used are declared.

#include <windows.h>

#include <d3d11.h>
#include <dxgi.h>
#include <eventtoken.h>
#include <inspectable.h>
#include <winstring.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace orvane::wgc_abi {

struct SizeInt32 {
  int32_t Width;
  int32_t Height;
};

// Windows.Graphics.DirectX.DirectXPixelFormat.
enum class DirectXPixelFormat : int32_t { kB8G8R8A8UIntNormalized = 87 };

template <class Self>
struct UnknownSlots {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(Self*, REFIID, void**);
  ULONG(STDMETHODCALLTYPE* AddRef)(Self*);
  ULONG(STDMETHODCALLTYPE* Release)(Self*);
};

template <class Self>
struct InspectableSlots {
  UnknownSlots<Self> unknown;
  HRESULT(STDMETHODCALLTYPE* GetIids)(Self*, ULONG*, IID**);
  HRESULT(STDMETHODCALLTYPE* GetRuntimeClassName)(Self*, HSTRING*);
  HRESULT(STDMETHODCALLTYPE* GetTrustLevel)(Self*, TrustLevel*);
};

// The IUnknown part every vtable starts with, so ComRef can hold these interfaces.
template <class Self, class Vtbl>
struct AbiInterface {
  const Vtbl* vtbl;

  Self* self() { return static_cast<Self*>(this); }
  const UnknownSlots<Self>& unknown() const {
    return *reinterpret_cast<const UnknownSlots<Self>*>(vtbl);
  }
  HRESULT QueryInterface(REFIID iid, void** out) {
    return unknown().QueryInterface(self(), iid, out);
  }
  ULONG AddRef() { return unknown().AddRef(self()); }
  ULONG Release() { return unknown().Release(self()); }
};

struct IDirect3DDevice;
struct IDirect3DSurface;
struct IGraphicsCaptureItem;
struct IGraphicsCaptureSession;
struct IDirect3D11CaptureFrame;
struct IDirect3D11CaptureFramePool;

// Windows.Graphics.DirectX.Direct3D11.IDirect3DDevice: only passed on.
struct IDirect3DDeviceVtbl {
  InspectableSlots<IDirect3DDevice> inspectable;
};
struct IDirect3DDevice : AbiInterface<IDirect3DDevice, IDirect3DDeviceVtbl> {};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DSurface: only queried for the DXGI access.
struct IDirect3DSurfaceVtbl {
  InspectableSlots<IDirect3DSurface> inspectable;
};
struct IDirect3DSurface : AbiInterface<IDirect3DSurface, IDirect3DSurfaceVtbl> {};

// Windows::Graphics::DirectX::Direct3D11::IDirect3DDxgiInterfaceAccess (IUnknown-based).
struct IDirect3DDxgiInterfaceAccess;
struct IDirect3DDxgiInterfaceAccessVtbl {
  UnknownSlots<IDirect3DDxgiInterfaceAccess> unknown;
  HRESULT(STDMETHODCALLTYPE* GetInterface)(IDirect3DDxgiInterfaceAccess*, REFIID, void**);
};
struct IDirect3DDxgiInterfaceAccess
    : AbiInterface<IDirect3DDxgiInterfaceAccess, IDirect3DDxgiInterfaceAccessVtbl> {
  HRESULT GetInterface(REFIID iid, void** out) { return vtbl->GetInterface(this, iid, out); }
};

// IGraphicsCaptureItemInterop (IUnknown-based), the factory's desktop interop.
struct IGraphicsCaptureItemInterop;
struct IGraphicsCaptureItemInteropVtbl {
  UnknownSlots<IGraphicsCaptureItemInterop> unknown;
  HRESULT(STDMETHODCALLTYPE* CreateForWindow)(IGraphicsCaptureItemInterop*, HWND, REFIID, void**);
  HRESULT(STDMETHODCALLTYPE* CreateForMonitor)
  (IGraphicsCaptureItemInterop*, HMONITOR, REFIID, void**);
};
struct IGraphicsCaptureItemInterop
    : AbiInterface<IGraphicsCaptureItemInterop, IGraphicsCaptureItemInteropVtbl> {
  HRESULT CreateForMonitor(HMONITOR monitor, REFIID iid, void** out) {
    return vtbl->CreateForMonitor(this, monitor, iid, out);
  }
};

// Windows.Foundation.TypedEventHandler<GraphicsCaptureItem, Object>: the item's Closed event.
struct IGraphicsCaptureItemClosedHandler;
struct IGraphicsCaptureItemClosedHandlerVtbl {
  UnknownSlots<IGraphicsCaptureItemClosedHandler> unknown;
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (IGraphicsCaptureItemClosedHandler*, IGraphicsCaptureItem*, IInspectable*);
};
struct IGraphicsCaptureItemClosedHandler
    : AbiInterface<IGraphicsCaptureItemClosedHandler, IGraphicsCaptureItemClosedHandlerVtbl> {
  HRESULT Invoke(IGraphicsCaptureItem* sender, IInspectable* args) {
    return vtbl->Invoke(this, sender, args);
  }
};

// Windows.Graphics.Capture.IGraphicsCaptureItem.
struct IGraphicsCaptureItemVtbl {
  InspectableSlots<IGraphicsCaptureItem> inspectable;
  HRESULT(STDMETHODCALLTYPE* get_DisplayName)(IGraphicsCaptureItem*, HSTRING*);
  HRESULT(STDMETHODCALLTYPE* get_Size)(IGraphicsCaptureItem*, SizeInt32*);
  HRESULT(STDMETHODCALLTYPE* add_Closed)
  (IGraphicsCaptureItem*, IGraphicsCaptureItemClosedHandler*, EventRegistrationToken*);
  HRESULT(STDMETHODCALLTYPE* remove_Closed)(IGraphicsCaptureItem*, EventRegistrationToken);
};
struct IGraphicsCaptureItem : AbiInterface<IGraphicsCaptureItem, IGraphicsCaptureItemVtbl> {
  HRESULT get_Size(SizeInt32* size) { return vtbl->get_Size(this, size); }
  HRESULT add_Closed(IGraphicsCaptureItemClosedHandler* handler, EventRegistrationToken* token) {
    return vtbl->add_Closed(this, handler, token);
  }
  HRESULT remove_Closed(EventRegistrationToken token) { return vtbl->remove_Closed(this, token); }
};

// Windows.Graphics.Capture.IGraphicsCaptureSession.
struct IGraphicsCaptureSessionVtbl {
  InspectableSlots<IGraphicsCaptureSession> inspectable;
  HRESULT(STDMETHODCALLTYPE* StartCapture)(IGraphicsCaptureSession*);
};
struct IGraphicsCaptureSession
    : AbiInterface<IGraphicsCaptureSession, IGraphicsCaptureSessionVtbl> {
  HRESULT StartCapture() { return vtbl->StartCapture(this); }
};

// Windows.Graphics.Capture.IGraphicsCaptureSession2 (Windows 10 2004 and later).
struct IGraphicsCaptureSession2;
struct IGraphicsCaptureSession2Vtbl {
  InspectableSlots<IGraphicsCaptureSession2> inspectable;
  HRESULT(STDMETHODCALLTYPE* get_IsCursorCaptureEnabled)(IGraphicsCaptureSession2*, boolean*);
  HRESULT(STDMETHODCALLTYPE* put_IsCursorCaptureEnabled)(IGraphicsCaptureSession2*, boolean);
};
struct IGraphicsCaptureSession2
    : AbiInterface<IGraphicsCaptureSession2, IGraphicsCaptureSession2Vtbl> {
  HRESULT put_IsCursorCaptureEnabled(boolean value) {
    return vtbl->put_IsCursorCaptureEnabled(this, value);
  }
};

// Windows.Graphics.Capture.IGraphicsCaptureSession3 (Windows 10 build 20348 and later).
struct IGraphicsCaptureSession3;
struct IGraphicsCaptureSession3Vtbl {
  InspectableSlots<IGraphicsCaptureSession3> inspectable;
  HRESULT(STDMETHODCALLTYPE* get_IsBorderRequired)(IGraphicsCaptureSession3*, boolean*);
  HRESULT(STDMETHODCALLTYPE* put_IsBorderRequired)(IGraphicsCaptureSession3*, boolean);
};
struct IGraphicsCaptureSession3
    : AbiInterface<IGraphicsCaptureSession3, IGraphicsCaptureSession3Vtbl> {
  HRESULT put_IsBorderRequired(boolean value) { return vtbl->put_IsBorderRequired(this, value); }
};

// Windows.Graphics.Capture.GraphicsCaptureAccessKind.
enum class GraphicsCaptureAccessKind : int32_t { kBorderless = 0 };

// Windows.Graphics.Capture.IGraphicsCaptureAccessStatics. The operation it returns is only
// released, never read, so it is declared as what every interface is.
struct IGraphicsCaptureAccessStatics;
struct IGraphicsCaptureAccessStaticsVtbl {
  InspectableSlots<IGraphicsCaptureAccessStatics> inspectable;
  HRESULT(STDMETHODCALLTYPE* RequestAccessAsync)
  (IGraphicsCaptureAccessStatics*, GraphicsCaptureAccessKind, IInspectable**);
};
struct IGraphicsCaptureAccessStatics
    : AbiInterface<IGraphicsCaptureAccessStatics, IGraphicsCaptureAccessStaticsVtbl> {
  HRESULT RequestAccessAsync(GraphicsCaptureAccessKind kind, IInspectable** operation) {
    return vtbl->RequestAccessAsync(this, kind, operation);
  }
};

// Windows.Graphics.Capture.IGraphicsCaptureSessionStatics: whether the system can capture.
struct IGraphicsCaptureSessionStatics;
struct IGraphicsCaptureSessionStaticsVtbl {
  InspectableSlots<IGraphicsCaptureSessionStatics> inspectable;
  HRESULT(STDMETHODCALLTYPE* IsSupported)(IGraphicsCaptureSessionStatics*, boolean*);
};
struct IGraphicsCaptureSessionStatics
    : AbiInterface<IGraphicsCaptureSessionStatics, IGraphicsCaptureSessionStaticsVtbl> {
  HRESULT IsSupported(boolean* supported) { return vtbl->IsSupported(this, supported); }
};

// Windows.Graphics.Capture.IDirect3D11CaptureFrame.
struct IDirect3D11CaptureFrameVtbl {
  InspectableSlots<IDirect3D11CaptureFrame> inspectable;
  HRESULT(STDMETHODCALLTYPE* get_Surface)(IDirect3D11CaptureFrame*, IDirect3DSurface**);
  HRESULT(STDMETHODCALLTYPE* get_SystemRelativeTime)(IDirect3D11CaptureFrame*, int64_t*);
  HRESULT(STDMETHODCALLTYPE* get_ContentSize)(IDirect3D11CaptureFrame*, SizeInt32*);
};
struct IDirect3D11CaptureFrame
    : AbiInterface<IDirect3D11CaptureFrame, IDirect3D11CaptureFrameVtbl> {
  HRESULT get_Surface(IDirect3DSurface** surface) { return vtbl->get_Surface(this, surface); }
  HRESULT get_ContentSize(SizeInt32* size) { return vtbl->get_ContentSize(this, size); }
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePool.
struct IDirect3D11CaptureFramePoolVtbl {
  InspectableSlots<IDirect3D11CaptureFramePool> inspectable;
  HRESULT(STDMETHODCALLTYPE* Recreate)
  (IDirect3D11CaptureFramePool*, IDirect3DDevice*, DirectXPixelFormat, INT32, SizeInt32);
  HRESULT(STDMETHODCALLTYPE* TryGetNextFrame)
  (IDirect3D11CaptureFramePool*, IDirect3D11CaptureFrame**);
  HRESULT(STDMETHODCALLTYPE* add_FrameArrived)
  (IDirect3D11CaptureFramePool*, IUnknown*, EventRegistrationToken*);
  HRESULT(STDMETHODCALLTYPE* remove_FrameArrived)
  (IDirect3D11CaptureFramePool*, EventRegistrationToken);
  HRESULT(STDMETHODCALLTYPE* CreateCaptureSession)
  (IDirect3D11CaptureFramePool*, IGraphicsCaptureItem*, IGraphicsCaptureSession**);
};
struct IDirect3D11CaptureFramePool
    : AbiInterface<IDirect3D11CaptureFramePool, IDirect3D11CaptureFramePoolVtbl> {
  HRESULT Recreate(IDirect3DDevice* device, DirectXPixelFormat format, INT32 buffers,
                   SizeInt32 size) {
    return vtbl->Recreate(this, device, format, buffers, size);
  }
  HRESULT TryGetNextFrame(IDirect3D11CaptureFrame** frame) {
    return vtbl->TryGetNextFrame(this, frame);
  }
  HRESULT CreateCaptureSession(IGraphicsCaptureItem* item, IGraphicsCaptureSession** session) {
    return vtbl->CreateCaptureSession(this, item, session);
  }
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePoolStatics2.
struct IDirect3D11CaptureFramePoolStatics2;
struct IDirect3D11CaptureFramePoolStatics2Vtbl {
  InspectableSlots<IDirect3D11CaptureFramePoolStatics2> inspectable;
  HRESULT(STDMETHODCALLTYPE* CreateFreeThreaded)
  (IDirect3D11CaptureFramePoolStatics2*, IDirect3DDevice*, DirectXPixelFormat, INT32, SizeInt32,
   IDirect3D11CaptureFramePool**);
};
struct IDirect3D11CaptureFramePoolStatics2
    : AbiInterface<IDirect3D11CaptureFramePoolStatics2, IDirect3D11CaptureFramePoolStatics2Vtbl> {
  HRESULT CreateFreeThreaded(IDirect3DDevice* device, DirectXPixelFormat format, INT32 buffers,
                             SizeInt32 size, IDirect3D11CaptureFramePool** pool) {
    return vtbl->CreateFreeThreaded(this, device, format, buffers, size, pool);
  }
};

// Windows.Foundation.IClosable, to end a session and a frame pool. mingw-w64 declares it
// in windows.foundation.h, but that header does not compile as C++.
struct IClosable;
struct IClosableVtbl {
  InspectableSlots<IClosable> inspectable;
  HRESULT(STDMETHODCALLTYPE* Close)(IClosable*);
};
struct IClosable : AbiInterface<IClosable, IClosableVtbl> {
  HRESULT Close() { return vtbl->Close(this); }
};

// IUnknown slots 0-2, IInspectable adds 3-5; the first own method of each is slot 3 or 6.
#define ORVANE_WGC_SLOT(vtbl, member, index)                                         \
  static_assert(offsetof(vtbl, member) == (index) * sizeof(void*), #member " slot"); \
  static_assert(std::is_standard_layout_v<vtbl>)

ORVANE_WGC_SLOT(IClosableVtbl, Close, 6);
ORVANE_WGC_SLOT(IDirect3DDxgiInterfaceAccessVtbl, GetInterface, 3);
ORVANE_WGC_SLOT(IGraphicsCaptureItemInteropVtbl, CreateForWindow, 3);
ORVANE_WGC_SLOT(IGraphicsCaptureItemInteropVtbl, CreateForMonitor, 4);
ORVANE_WGC_SLOT(IGraphicsCaptureItemVtbl, get_DisplayName, 6);
ORVANE_WGC_SLOT(IGraphicsCaptureItemVtbl, get_Size, 7);
ORVANE_WGC_SLOT(IGraphicsCaptureItemVtbl, add_Closed, 8);
ORVANE_WGC_SLOT(IGraphicsCaptureItemVtbl, remove_Closed, 9);
ORVANE_WGC_SLOT(IGraphicsCaptureItemClosedHandlerVtbl, Invoke, 3);
ORVANE_WGC_SLOT(IGraphicsCaptureSession2Vtbl, put_IsCursorCaptureEnabled, 7);
ORVANE_WGC_SLOT(IGraphicsCaptureSession3Vtbl, put_IsBorderRequired, 7);
ORVANE_WGC_SLOT(IGraphicsCaptureAccessStaticsVtbl, RequestAccessAsync, 6);
ORVANE_WGC_SLOT(IGraphicsCaptureSessionVtbl, StartCapture, 6);
ORVANE_WGC_SLOT(IGraphicsCaptureSessionStaticsVtbl, IsSupported, 6);
ORVANE_WGC_SLOT(IDirect3D11CaptureFrameVtbl, get_Surface, 6);
ORVANE_WGC_SLOT(IDirect3D11CaptureFrameVtbl, get_ContentSize, 8);
ORVANE_WGC_SLOT(IDirect3D11CaptureFramePoolVtbl, Recreate, 6);
ORVANE_WGC_SLOT(IDirect3D11CaptureFramePoolVtbl, TryGetNextFrame, 7);
ORVANE_WGC_SLOT(IDirect3D11CaptureFramePoolVtbl, CreateCaptureSession, 10);
ORVANE_WGC_SLOT(IDirect3D11CaptureFramePoolStatics2Vtbl, CreateFreeThreaded, 6);
#undef ORVANE_WGC_SLOT

// An interface is exactly its vtable pointer, as the ABI passes it.
static_assert(sizeof(IGraphicsCaptureItemInterop) == sizeof(void*));
static_assert(std::is_standard_layout_v<IDirect3D11CaptureFramePool>);
// SizeInt32 travels by value in one register, as in the SDK.
static_assert(sizeof(SizeInt32) == 8);

inline constexpr IID kIidGraphicsCaptureItemInterop = {
    0x3628E81B, 0x3CAC, 0x4C60, {0xB7, 0xF4, 0x23, 0xCE, 0x0E, 0x0C, 0x33, 0x56}};
inline constexpr IID kIidGraphicsCaptureItem = {
    0x79C3F95B, 0x31F7, 0x4EC2, {0xA4, 0x64, 0x63, 0x2E, 0xF5, 0xD3, 0x07, 0x60}};
inline constexpr IID kIidGraphicsCaptureItemClosedHandler = {
    0xE9C610C0, 0xA68C, 0x5BD9, {0x80, 0x21, 0x85, 0x89, 0x34, 0x6E, 0xEE, 0xE2}};
inline constexpr IID kIidGraphicsCaptureSession2 = {
    0x2C39AE40, 0x7D2E, 0x5044, {0x80, 0x4E, 0x8B, 0x67, 0x99, 0xD4, 0xCF, 0x9E}};
inline constexpr IID kIidGraphicsCaptureSession3 = {
    0xF2CDD966, 0x22AE, 0x5EA1, {0x95, 0x96, 0x3A, 0x28, 0x93, 0x44, 0xC3, 0xBE}};
inline constexpr IID kIidGraphicsCaptureAccessStatics = {
    0x743ED370, 0x06EC, 0x5040, {0xA5, 0x8A, 0x90, 0x1F, 0x0F, 0x75, 0x70, 0x95}};
// IAgileObject: the handler may be called on any thread.
inline constexpr IID kIidAgileObject = {
    0x94EA2B94, 0xE9CC, 0x49E0, {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};
inline constexpr IID kIidGraphicsCaptureSessionStatics = {
    0x2224A540, 0x5974, 0x49AA, {0xB2, 0x32, 0x08, 0x82, 0x53, 0x6F, 0x4C, 0xB5}};
inline constexpr IID kIidDirect3D11CaptureFramePoolStatics2 = {
    0x589B103F, 0x6BBC, 0x5DF5, {0xA9, 0x91, 0x02, 0xE2, 0x8B, 0x3B, 0x66, 0xD5}};
inline constexpr IID kIidDirect3DDevice = {
    0xA37624AB, 0x8D5F, 0x4650, {0x9D, 0x3E, 0x9E, 0xAE, 0x3D, 0x9B, 0xC6, 0x70}};
inline constexpr IID kIidDirect3DDxgiInterfaceAccess = {
    0xA9B3D012, 0x3DF2, 0x4EE3, {0xB8, 0xD1, 0x86, 0x95, 0xF4, 0x57, 0xD3, 0xC1}};

inline constexpr IID kIidClosable = {
    0x30D5A829, 0x7FA4, 0x4026, {0x83, 0xBB, 0xD7, 0x5B, 0xAE, 0x4E, 0xA9, 0x9E}};

inline constexpr wchar_t kGraphicsCaptureItemClass[] =
    L"Windows.Graphics.Capture.GraphicsCaptureItem";
inline constexpr wchar_t kGraphicsCaptureSessionClass[] =
    L"Windows.Graphics.Capture.GraphicsCaptureSession";
inline constexpr wchar_t kGraphicsCaptureAccessClass[] =
    L"Windows.Graphics.Capture.GraphicsCaptureAccess";
inline constexpr wchar_t kCaptureFramePoolClass[] =
    L"Windows.Graphics.Capture.Direct3D11CaptureFramePool";

}  // namespace orvane::wgc_abi

// d3d11.dll exports it; the interop header that declares it is missing from mingw-w64.
extern "C" HRESULT WINAPI CreateDirect3D11DeviceFromDXGIDevice(IDXGIDevice* dxgi_device,
                                                               IInspectable** graphics_device);
