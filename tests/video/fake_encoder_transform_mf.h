#pragma once

#include <windows.h>

#include <mfidl.h>
#include <mftransform.h>
#include <strmif.h>

#include <atomic>
#include <cstdint>
#include <deque>

#include "platform/com_ref_win.h"

namespace orvane::testing {

// A hardware H.264 encoder transform that keeps the rules Microsoft documents for
// asynchronous transforms and their encoders:
// - Every call but GetAttributes fails with MF_E_TRANSFORM_ASYNC_LOCKED until the client
//   sets MF_TRANSFORM_ASYNC_UNLOCK; after IMFShutdown::Shutdown everything fails with
//   MF_E_SHUTDOWN.
// - ProcessInput only against an unused METransformNeedInput (MF_E_NOTACCEPTING
//   otherwise); ProcessOutput only against an unused METransformHaveOutput (E_UNEXPECTED
//   otherwise). Like many hardware encoders it asks for no more input while announced
//   output is still to be collected.
// - The output type is set before the input type, which must be NV12. The transform
//   provides its own output samples, so the client offers none (E_INVALIDARG otherwise).
// - MF_E_TRANSFORM_STREAM_CHANGE leaves the output type unset
//   (MF_E_TRANSFORM_TYPE_NOT_SET) until the client sets one again. The type it then
//   proposes is its own: it keeps the first output type's format but none of the colour
//   attributes the client set.
// - ICodecAPI takes CODECAPI_AVLowLatencyMode as VT_BOOL and the bitrate and keyframe
//   request as VT_UI4 (E_INVALIDARG otherwise).
// - Like many hardware encoders it runs one session at a time: Open refuses while a
//   session it opened has not been shut down; releasing the last reference does not end
//   the session, only Shutdown does.
class FakeEncoderTransform final : public IMFTransform,
                                   public IMFMediaEventGenerator,
                                   public ICodecAPI,
                                   public IMFShutdown {
 public:
  struct Behaviour {
    // Output is announced only when the test calls FinishFrame, as a busy encoder
    // announces it late; otherwise as soon as the frame is taken.
    bool output_on_demand = false;
    bool stream_change_on_first_output = false;
    // Only the first IDR carries SPS and PPS.
    bool parameter_sets_once = false;
    // No IDR carries them; the current output type's MF_MT_MPEG_SEQUENCE_HEADER does.
    bool parameter_sets_in_output_type = false;
  };
  // The colour attributes of a media type as set; 0 (Unknown) where one is missing.
  struct TypeColour {
    std::atomic<uint32_t> primaries{0};
    std::atomic<uint32_t> transfer{0};
    std::atomic<uint32_t> matrix{0};
    std::atomic<uint32_t> range{0};
  };
  struct Record {
    std::atomic<int> sessions_open{0};
    std::atomic<int> sessions_started{0};
    std::atomic<int> rule_breaks{0};
    std::atomic<bool> low_latency{false};
    std::atomic<int> output_types_set{0};
    TypeColour input_colour;
    TypeColour output_colour;
  };

  // Opens a session, or fails with MF_E_HW_MFT_FAILED_START_STREAMING while one is open.
  static HRESULT Open(const Behaviour& behaviour, Record& record,
                      ComRef<FakeEncoderTransform>& transform);

  // The encoder finishes the oldest frame it holds and announces its output.
  void FinishFrame();

  // IUnknown, shared by every interface.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMFTransform
  HRESULT STDMETHODCALLTYPE GetStreamLimits(DWORD* input_minimum, DWORD* input_maximum,
                                            DWORD* output_minimum, DWORD* output_maximum) override;
  HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* inputs, DWORD* outputs) override;
  HRESULT STDMETHODCALLTYPE GetStreamIDs(DWORD input_size, DWORD* input_ids, DWORD output_size,
                                         DWORD* output_ids) override;
  HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD stream,
                                                MFT_OUTPUT_STREAM_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetAttributes(IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE GetInputStreamAttributes(DWORD stream,
                                                     IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE GetOutputStreamAttributes(DWORD stream,
                                                      IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE DeleteInputStream(DWORD stream) override;
  HRESULT STDMETHODCALLTYPE AddInputStreams(DWORD count, DWORD* ids) override;
  HRESULT STDMETHODCALLTYPE GetInputAvailableType(DWORD stream, DWORD index,
                                                  IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetOutputAvailableType(DWORD stream, DWORD index,
                                                   IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD stream, IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD stream, DWORD* flags) override;
  HRESULT STDMETHODCALLTYPE GetOutputStatus(DWORD* flags) override;
  HRESULT STDMETHODCALLTYPE SetOutputBounds(LONGLONG lower, LONGLONG upper) override;
  HRESULT STDMETHODCALLTYPE ProcessEvent(DWORD stream, IMFMediaEvent* event) override;
  HRESULT STDMETHODCALLTYPE ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR param) override;
  HRESULT STDMETHODCALLTYPE ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* samples,
                                          DWORD* status) override;

  // IMFMediaEventGenerator
  HRESULT STDMETHODCALLTYPE GetEvent(DWORD flags, IMFMediaEvent** event) override;
  HRESULT STDMETHODCALLTYPE BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
  HRESULT STDMETHODCALLTYPE EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
  HRESULT STDMETHODCALLTYPE QueueEvent(MediaEventType type, REFGUID extended, HRESULT status,
                                       const PROPVARIANT* value) override;

  // ICodecAPI
  HRESULT STDMETHODCALLTYPE IsSupported(const GUID* api) override;
  HRESULT STDMETHODCALLTYPE IsModifiable(const GUID* api) override;
  HRESULT STDMETHODCALLTYPE GetParameterRange(const GUID* api, VARIANT* minimum, VARIANT* maximum,
                                              VARIANT* step) override;
  HRESULT STDMETHODCALLTYPE GetParameterValues(const GUID* api, VARIANT** values,
                                               ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetDefaultValue(const GUID* api, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE GetValue(const GUID* api, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetValue(const GUID* api, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE RegisterForEvent(const GUID* api, LONG_PTR user_data) override;
  HRESULT STDMETHODCALLTYPE UnregisterForEvent(const GUID* api) override;
  HRESULT STDMETHODCALLTYPE SetAllDefaults() override;
  HRESULT STDMETHODCALLTYPE SetValueWithNotify(const GUID* api, VARIANT* value, GUID** changed,
                                               ULONG* changed_count) override;
  HRESULT STDMETHODCALLTYPE SetAllDefaultsWithNotify(GUID** changed, ULONG* changed_count) override;
  HRESULT STDMETHODCALLTYPE GetAllSettings(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE SetAllSettings(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE SetAllSettingsWithNotify(IStream* stream, GUID** changed,
                                                     ULONG* changed_count) override;

  // IMFShutdown
  HRESULT STDMETHODCALLTYPE Shutdown() override;
  HRESULT STDMETHODCALLTYPE GetShutdownStatus(MFSHUTDOWN_STATUS* status) override;

 private:
  struct Frame {
    uint64_t index = 0;
    LONGLONG time = 0;
    bool keyframe = false;
  };

  FakeEncoderTransform(const Behaviour& behaviour, Record& record);
  ~FakeEncoderTransform() = default;
  // Why a call may not go ahead: the lock, the shutdown, or nothing.
  HRESULT Gate() const;
  HRESULT Broken(HRESULT result);
  void AskForInputWhenIdle();
  HRESULT MakeSample(const Frame& frame, IMFSample** sample);

  std::atomic<ULONG> references_{1};
  Behaviour behaviour_;
  Record& record_;
  ComRef<IMFAttributes> attributes_;
  ComRef<IMFMediaType> output_type_;
  ComRef<IMFMediaType> first_output_type_;
  ComRef<IMFMediaType> input_type_;
  bool shut_down_ = false;
  bool stream_changed_ = false;
  bool force_keyframe_ = false;
  uint32_t input_requests_ = 0;
  uint64_t frames_taken_ = 0;
  std::deque<Frame> in_flight_;
  std::deque<Frame> announced_;
  std::deque<MediaEventType> events_;
};

}  // namespace orvane::testing
