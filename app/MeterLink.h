#pragma once

#include <functional>

#include "link/ConnectionControl.h"

namespace ostrel {

class FramePipeline;
class THidDeviceController;
struct FrameAssemblerState;
struct LinkControls;

// The meter link wired to the frame path, once for every user: a ConnectionControl whose
// frames go to a FramePipeline, and the pipeline's Timer2 hook going back to the connection
// control, so that every frame restarts Timer2. The window, ostrel-cli log, the connection
// tests and the link benchmark all run this wiring; each adds its own callbacks (caption,
// messages, history, cable choice) and drives the link through connection().
//
// The controller, the link controls, the assembler state and the pipeline must outlive it.
// Destroying it takes the Timer2 hook off the pipeline first, then stops reading and gives
// every device back. Main thread only, with a Qt event loop.
class MeterLink {
 public:
  // callbacks.showFrame is this wiring's: whatever it holds is replaced. afterFrame, when
  // given, runs after each frame the pipeline was given, decoded or dropped (the window
  // repaints its mirror there); it must outlive the link too.
  MeterLink(THidDeviceController& controller, LinkControls& link,
            FrameAssemblerState& assemblerState, FramePipeline& pipeline,
            ConnectionControl::Callbacks callbacks, std::function<void()> afterFrame = {});
  ~MeterLink();
  MeterLink(const MeterLink&) = delete;
  MeterLink& operator=(const MeterLink&) = delete;

  [[nodiscard]] ConnectionControl& connection() { return m_connection; }

 private:
  FramePipeline& m_pipeline;
  ConnectionControl m_connection;
};

}  // namespace ostrel
