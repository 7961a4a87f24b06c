#include "video/fake_encoder_transform_mf.h"

#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>

#include <cstring>
#include <iterator>
#include <vector>

namespace orvane::testing {
namespace {

const uint8_t kSps[] = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1f};
const uint8_t kPps[] = {0, 0, 0, 1, 0x68, 0xce, 0x3c, 0x80};
constexpr uint64_t kKeyframeInterval = 3;

void Append(std::vector<uint8_t>& bytes, const uint8_t* data, size_t size) {
  bytes.insert(bytes.end(), data, data + size);
}

}  // namespace

FakeEncoderTransform::FakeEncoderTransform(const Behaviour& behaviour, Record& record)
    : behaviour_(behaviour), record_(record) {
  MFCreateAttributes(attributes_.Put(), 2);
  attributes_->SetUINT32(MF_TRANSFORM_ASYNC, TRUE);
}

HRESULT FakeEncoderTransform::Open(const Behaviour& behaviour, Record& record,
                                   ComRef<FakeEncoderTransform>& transform) {
  if (record.sessions_open.load() > 0) {
    return MF_E_HW_MFT_FAILED_START_STREAMING;
  }
  ++record.sessions_open;
  ++record.sessions_started;
  *transform.Put() = new FakeEncoderTransform(behaviour, record);
  return S_OK;
}

namespace {

const GUID* const kColourAttributes[] = {&MF_MT_VIDEO_PRIMARIES, &MF_MT_TRANSFER_FUNCTION,
                                         &MF_MT_YUV_MATRIX, &MF_MT_VIDEO_NOMINAL_RANGE};

void RecordColour(IMFMediaType& type, FakeEncoderTransform::TypeColour& colour) {
  std::atomic<uint32_t>* const fields[] = {&colour.primaries, &colour.transfer, &colour.matrix,
                                           &colour.range};
  for (size_t i = 0; i < std::size(fields); ++i) {
    UINT32 value = 0;
    *fields[i] = SUCCEEDED(type.GetUINT32(*kColourAttributes[i], &value)) ? value : 0;
  }
}

}  // namespace

HRESULT FakeEncoderTransform::Broken(HRESULT result) {
  ++record_.rule_breaks;
  return result;
}

HRESULT FakeEncoderTransform::Gate() const {
  if (shut_down_) {
    return MF_E_SHUTDOWN;
  }
  if (MFGetAttributeUINT32(attributes_.get(), MF_TRANSFORM_ASYNC_UNLOCK, FALSE) == FALSE) {
    return MF_E_TRANSFORM_ASYNC_LOCKED;
  }
  return S_OK;
}

void FakeEncoderTransform::AskForInputWhenIdle() {
  if (in_flight_.empty() && announced_.empty() && input_requests_ == 0) {
    ++input_requests_;
    events_.push_back(METransformNeedInput);
  }
}

void FakeEncoderTransform::FinishFrame() {
  if (in_flight_.empty()) {
    return;
  }
  announced_.push_back(in_flight_.front());
  in_flight_.pop_front();
  events_.push_back(METransformHaveOutput);
}

HRESULT FakeEncoderTransform::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (id == __uuidof(IUnknown) || id == __uuidof(IMFTransform)) {
    *object = static_cast<IMFTransform*>(this);
  } else if (id == __uuidof(IMFMediaEventGenerator)) {
    *object = static_cast<IMFMediaEventGenerator*>(this);
  } else if (id == IID_ICodecAPI) {
    *object = static_cast<ICodecAPI*>(this);
  } else if (id == __uuidof(IMFShutdown)) {
    *object = static_cast<IMFShutdown*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG FakeEncoderTransform::AddRef() {
  return ++references_;
}

ULONG FakeEncoderTransform::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    delete this;
  }
  return left;
}

HRESULT FakeEncoderTransform::GetStreamLimits(DWORD* input_minimum, DWORD* input_maximum,
                                              DWORD* output_minimum, DWORD* output_maximum) {
  *input_minimum = *input_maximum = *output_minimum = *output_maximum = 1;
  return S_OK;
}

HRESULT FakeEncoderTransform::GetStreamCount(DWORD* inputs, DWORD* outputs) {
  *inputs = *outputs = 1;
  return S_OK;
}

HRESULT FakeEncoderTransform::GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetInputStreamInfo(DWORD, MFT_INPUT_STREAM_INFO*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (stream != 0) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  *info = {};
  info->dwFlags = MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_WHOLE_SAMPLES;
  return S_OK;
}

HRESULT FakeEncoderTransform::GetAttributes(IMFAttributes** attributes) {
  if (shut_down_) {
    return MF_E_SHUTDOWN;
  }
  attributes_->AddRef();
  *attributes = attributes_.get();
  return S_OK;
}

HRESULT FakeEncoderTransform::GetInputStreamAttributes(DWORD, IMFAttributes**) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetOutputStreamAttributes(DWORD, IMFAttributes**) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::DeleteInputStream(DWORD) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::AddInputStreams(DWORD, DWORD*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetInputAvailableType(DWORD, DWORD, IMFMediaType**) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetOutputAvailableType(DWORD stream, DWORD index,
                                                     IMFMediaType** type) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (stream != 0) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  if (index > 0 || !first_output_type_) {
    return MF_E_NO_MORE_TYPES;
  }
  HRESULT hr = MFCreateMediaType(type);
  if (SUCCEEDED(hr)) {
    hr = first_output_type_->CopyAllItems(*type);
  }
  for (const GUID* attribute : kColourAttributes) {
    if (SUCCEEDED(hr)) {
      (*type)->DeleteItem(*attribute);
    }
  }
  return hr;
}

HRESULT FakeEncoderTransform::SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (stream != 0) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  if (!output_type_) {
    return MF_E_TRANSFORM_TYPE_NOT_SET;
  }
  GUID subtype{};
  if (type == nullptr || FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
      subtype != MFVideoFormat_NV12) {
    return MF_E_INVALIDMEDIATYPE;
  }
  if ((flags & MFT_SET_TYPE_TEST_ONLY) == 0) {
    type->AddRef();
    *input_type_.Put() = type;
    RecordColour(*type, record_.input_colour);
  }
  return S_OK;
}

HRESULT FakeEncoderTransform::SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (stream != 0) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  GUID subtype{};
  if (type == nullptr || FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
      subtype != MFVideoFormat_H264) {
    return MF_E_INVALIDMEDIATYPE;
  }
  if ((flags & MFT_SET_TYPE_TEST_ONLY) == 0) {
    type->AddRef();
    *output_type_.Put() = type;
    if (!first_output_type_) {
      first_output_type_ = output_type_;
    }
    ++record_.output_types_set;
    RecordColour(*type, record_.output_colour);
  }
  return S_OK;
}

HRESULT FakeEncoderTransform::GetInputCurrentType(DWORD, IMFMediaType** type) {
  if (!input_type_) {
    return MF_E_TRANSFORM_TYPE_NOT_SET;
  }
  input_type_->AddRef();
  *type = input_type_.get();
  return S_OK;
}

HRESULT FakeEncoderTransform::GetOutputCurrentType(DWORD, IMFMediaType** type) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (!output_type_) {
    return MF_E_TRANSFORM_TYPE_NOT_SET;
  }
  if (!behaviour_.parameter_sets_in_output_type) {
    output_type_->AddRef();
    *type = output_type_.get();
    return S_OK;
  }
  std::vector<uint8_t> header;
  Append(header, kSps, sizeof(kSps));
  Append(header, kPps, sizeof(kPps));
  HRESULT hr = MFCreateMediaType(type);
  if (SUCCEEDED(hr)) {
    hr = output_type_->CopyAllItems(*type);
  }
  if (SUCCEEDED(hr)) {
    hr = (*type)->SetBlob(MF_MT_MPEG_SEQUENCE_HEADER, header.data(),
                          static_cast<UINT32>(header.size()));
  }
  return hr;
}

HRESULT FakeEncoderTransform::GetInputStatus(DWORD, DWORD*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetOutputStatus(DWORD*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetOutputBounds(LONGLONG, LONGLONG) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::ProcessEvent(DWORD, IMFMediaEvent*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (message == MFT_MESSAGE_NOTIFY_START_OF_STREAM) {
    if (!input_type_ || !output_type_) {
      return MF_E_TRANSFORM_TYPE_NOT_SET;
    }
    AskForInputWhenIdle();
  }
  return S_OK;
}

HRESULT FakeEncoderTransform::ProcessInput(DWORD stream, IMFSample* sample, DWORD) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (stream != 0) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  if (sample == nullptr) {
    return E_POINTER;
  }
  if (input_requests_ == 0) {
    return Broken(MF_E_NOTACCEPTING);
  }
  --input_requests_;
  Frame frame;
  frame.index = frames_taken_++;
  sample->GetSampleTime(&frame.time);
  frame.keyframe = force_keyframe_ || frame.index % kKeyframeInterval == 0;
  force_keyframe_ = false;
  in_flight_.push_back(frame);
  if (!behaviour_.output_on_demand) {
    FinishFrame();
  }
  return S_OK;
}

HRESULT FakeEncoderTransform::MakeSample(const Frame& frame, IMFSample** sample) {
  std::vector<uint8_t> bytes;
  if (frame.keyframe && !behaviour_.parameter_sets_in_output_type &&
      (frame.index == 0 || !behaviour_.parameter_sets_once)) {
    Append(bytes, kSps, sizeof(kSps));
    Append(bytes, kPps, sizeof(kPps));
  }
  const uint8_t slice[] = {0,
                           0,
                           0,
                           1,
                           static_cast<uint8_t>(frame.keyframe ? 0x65 : 0x41),
                           0x88,
                           static_cast<uint8_t>(frame.index)};
  Append(bytes, slice, sizeof(slice));

  ComRef<IMFMediaBuffer> buffer;
  HRESULT hr = MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), buffer.Put());
  BYTE* data = nullptr;
  if (SUCCEEDED(hr)) {
    hr = buffer->Lock(&data, nullptr, nullptr);
  }
  if (FAILED(hr)) {
    return hr;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  buffer->Unlock();
  buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
  hr = MFCreateSample(sample);
  if (FAILED(hr)) {
    return hr;
  }
  (*sample)->AddBuffer(buffer.get());
  (*sample)->SetSampleTime(frame.time);
  (*sample)->SetUINT32(MFSampleExtension_CleanPoint, frame.keyframe ? 1 : 0);
  return S_OK;
}

HRESULT FakeEncoderTransform::ProcessOutput(DWORD, DWORD count, MFT_OUTPUT_DATA_BUFFER* samples,
                                            DWORD* status) {
  if (const HRESULT gate = Gate(); FAILED(gate)) {
    return gate;
  }
  if (count != 1 || samples == nullptr || status == nullptr) {
    return E_INVALIDARG;
  }
  *status = 0;
  if (samples->pSample != nullptr) {
    return Broken(E_INVALIDARG);
  }
  if (announced_.empty()) {
    return Broken(E_UNEXPECTED);
  }
  if (!output_type_) {
    return Broken(MF_E_TRANSFORM_TYPE_NOT_SET);
  }
  if (behaviour_.stream_change_on_first_output && !stream_changed_) {
    stream_changed_ = true;
    output_type_.Reset();
    samples->dwStatus = MFT_OUTPUT_DATA_BUFFER_FORMAT_CHANGE;
    return MF_E_TRANSFORM_STREAM_CHANGE;
  }
  const HRESULT hr = MakeSample(announced_.front(), &samples->pSample);
  if (FAILED(hr)) {
    return hr;
  }
  announced_.pop_front();
  AskForInputWhenIdle();
  return S_OK;
}

HRESULT FakeEncoderTransform::GetEvent(DWORD flags, IMFMediaEvent** event) {
  if (shut_down_) {
    return MF_E_SHUTDOWN;
  }
  if (events_.empty()) {
    // A blocking wait could never end here: nothing else raises events.
    return (flags & MF_EVENT_FLAG_NO_WAIT) != 0 ? MF_E_NO_EVENTS_AVAILABLE : Broken(E_UNEXPECTED);
  }
  const MediaEventType type = events_.front();
  events_.pop_front();
  return MFCreateMediaEvent(type, GUID_NULL, S_OK, nullptr, event);
}

HRESULT FakeEncoderTransform::BeginGetEvent(IMFAsyncCallback*, IUnknown*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::IsSupported(const GUID*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::IsModifiable(const GUID*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetParameterRange(const GUID*, VARIANT*, VARIANT*, VARIANT*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetParameterValues(const GUID*, VARIANT**, ULONG*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetDefaultValue(const GUID*, VARIANT*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetValue(const GUID*, VARIANT*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetValue(const GUID* api, VARIANT* value) {
  if (shut_down_) {
    return MF_E_SHUTDOWN;
  }
  if (api == nullptr || value == nullptr) {
    return E_POINTER;
  }
  if (*api == CODECAPI_AVLowLatencyMode) {
    if (value->vt != VT_BOOL) {
      return Broken(E_INVALIDARG);
    }
    record_.low_latency = value->boolVal == VARIANT_TRUE;
    return S_OK;
  }
  if (*api == CODECAPI_AVEncVideoForceKeyFrame || *api == CODECAPI_AVEncCommonMeanBitRate) {
    if (value->vt != VT_UI4) {
      return Broken(E_INVALIDARG);
    }
    if (*api == CODECAPI_AVEncVideoForceKeyFrame && value->ulVal != 0) {
      force_keyframe_ = true;
    }
    return S_OK;
  }
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::RegisterForEvent(const GUID*, LONG_PTR) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::UnregisterForEvent(const GUID*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetAllDefaults() {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetValueWithNotify(const GUID*, VARIANT*, GUID**, ULONG*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetAllDefaultsWithNotify(GUID**, ULONG*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::GetAllSettings(IStream*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetAllSettings(IStream*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::SetAllSettingsWithNotify(IStream*, GUID**, ULONG*) {
  return E_NOTIMPL;
}

HRESULT FakeEncoderTransform::Shutdown() {
  if (!shut_down_) {
    shut_down_ = true;
    events_.clear();
    --record_.sessions_open;
  }
  return S_OK;
}

HRESULT FakeEncoderTransform::GetShutdownStatus(MFSHUTDOWN_STATUS* status) {
  if (!shut_down_) {
    return MF_E_INVALIDREQUEST;
  }
  *status = MFSHUTDOWN_COMPLETED;
  return S_OK;
}

}  // namespace orvane::testing
