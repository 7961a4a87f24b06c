#include "session/host_session.h"

#include "base/logger.h"
#include "platform/system_info.h"

namespace orvane {

HostSession::HostSession(SessionEnvironment environment)
    : environment_(std::move(environment)),
      handler_(environment_.trust),
      input_(handler_, control_server_, media_sender_),
      stream_(environment_, session_running_, handler_, control_server_, media_sender_, input_),
      clipboard_sender_([this] { return stream_.streaming(); },
                        [this](const uint8_t* data, uint32_t size) {
                          return control_server_.SendFrame(data, size);
                        }),
      file_receiver_(environment_.file_transfer),
      supervisor_(options_, session_running_, handler_, control_server_, media_sender_, input_,
                  stream_, clipboard_, file_receiver_) {}

HostSession::~HostSession() {
  clipboard_.Stop();
  session_running_.store(false);
  stream_.Halt();
  supervisor_.Stop();
  StopNetwork();
  if (control_thread_.joinable()) {
    control_thread_.join();
  }
  supervisor_.SetClientStateCallback(nullptr);
  stream_.Stop();
}

bool HostSession::Initialize(const HostOptions& options) {
  options_ = options;
  control_port_taken_ = false;
  if (const Status listening = control_server_.StartListening(options_.control_port);
      !listening.ok) {
    LOG_ERROR("[Session] %s", listening.message.c_str());
    control_port_taken_ = listening.code == static_cast<int32_t>(StatusCode::kPortTaken);
    return false;
  }
  if (const Status opened = media_sender_.Open(); !opened.ok) {
    LOG_ERROR("[Session] %s", opened.message.c_str());
    return false;
  }
  const PlatformServices& platform = environment_.platform;
  if (platform.input_sink) {
    if (std::unique_ptr<InputSink> sink = platform.input_sink()) {
      input_.SetInjector(std::make_unique<InputInjector>(std::move(sink)));
    }
  }
  stream_.Initialize(options_.monitors);
  handler_.SetUdpPorts(options_.media_port, options_.input_port);
  const std::string computer_name = ComputerName();
  handler_.SetHostIdentity("orvane-" + computer_name, computer_name);
  handler_.messages().SetSendCallback(
      [this](const uint8_t* data, uint32_t size) { return control_server_.SendFrame(data, size); });
  if (platform.clipboard) {
    clipboard_.Start(platform.clipboard(),
                     [this](const ClipboardData& data) { clipboard_sender_.Send(data); });
  }
  LOG_INFO("[Session] Initialized. Control=%u, Media=%u, Input=%u, Monitors=%u",
           options_.control_port, options_.media_port, options_.input_port, options_.monitors);
  return true;
}

void HostSession::SetCaptureSelection(uint32_t output_index, const std::string& backend) {
  stream_.SetCaptureSelection(output_index, backend);
  input_.SetStreamedOutput(output_index);
}

void HostSession::SetClientStateCallback(ClientStateCallback callback) {
  supervisor_.SetClientStateCallback(std::move(callback));
}

void HostSession::Run() {
  session_running_.store(true);
  // A stop requested before Run must not be undone by the line above.
  if (stop_requested_.load()) {
    session_running_.store(false);
    return;
  }
  if (!supervisor_.WaitForFirstClient()) {
    return;
  }
  if (const Status status = input_.Start(options_.input_port); !status.ok) {
    LOG_ERROR("[Session] Failed to start input UDP receiver code=%d msg=%s hr=0x%08lX", status.code,
              status.message.c_str(), static_cast<unsigned long>(status.hr));
    clipboard_.Stop();
    StopNetwork();
    return;
  }
  control_thread_ = std::thread(&ClientSupervisor::ControlReceiveLoop, &supervisor_);
  supervisor_.Run();
  stream_.Stop();
  control_thread_.join();
  clipboard_.Stop();
  StopNetwork();
}

void HostSession::StopNetwork() {
  input_.Stop();
  control_server_.Stop();
  media_sender_.Close();
}

void HostSession::RequestStop() {
  stop_requested_.store(true);
  session_running_.store(false);
  stream_.Halt();
  supervisor_.Stop();
  StopNetwork();
}

}  // namespace orvane
