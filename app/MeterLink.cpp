#include "app/MeterLink.h"

#include <string>
#include <utility>

#include "pipeline/FramePipeline.h"

namespace ostrel {

namespace {

// The callbacks with their frame path set to the pipeline, then afterFrame.
ConnectionControl::Callbacks framesToPipeline(ConnectionControl::Callbacks callbacks,
                                              FramePipeline& pipeline,
                                              std::function<void()> afterFrame) {
  callbacks.showFrame = [decode = pipeline.frameHandler(),
                         afterFrame = std::move(afterFrame)](const std::string& meterFrame) {
    const bool decoded = decode(meterFrame);
    if (afterFrame) afterFrame();
    return decoded;
  };
  return callbacks;
}

}  // namespace

MeterLink::MeterLink(THidDeviceController& controller, LinkControls& link,
                     FrameAssemblerState& assemblerState, FramePipeline& pipeline,
                     ConnectionControl::Callbacks callbacks, std::function<void()> afterFrame)
    : m_pipeline(pipeline),
      m_connection(controller, link, assemblerState,
                   framesToPipeline(std::move(callbacks), pipeline, std::move(afterFrame))) {
  m_pipeline.setTimer2RestartHook([this] { m_connection.restartTimer2(); });
}

// The pipeline outlives the link: a frame it decodes later must not reach the connection
// control, which goes next (stopping reading and giving the devices back).
MeterLink::~MeterLink() { m_pipeline.setTimer2RestartHook({}); }

}  // namespace ostrel
