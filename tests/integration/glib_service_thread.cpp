#include "integration/glib_service_thread.h"

#include <utility>

namespace orvane::testing {

GlibServiceThread::GlibServiceThread()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {}

GlibServiceThread::~GlibServiceThread() {
  Stop();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void GlibServiceThread::Start(std::function<void()> serve) {
  thread_ = std::thread(std::move(serve));
}

void GlibServiceThread::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  GSource* quit = g_idle_source_new();
  g_source_set_callback(
      quit,
      [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_, nullptr);
  g_source_attach(quit, context_);
  g_source_unref(quit);
  thread_.join();
}

}  // namespace orvane::testing
