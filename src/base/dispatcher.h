#pragma once
// Letting window messages run: the one thing the exchanges, the download and
// the dialogs need of the message queue while they wait for the logger.
namespace vkt {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  // Dispatches pending window messages once. Handlers that run may release
  // windows, so a caller looks up what it works on afresh afterwards.
  virtual void dispatch_messages() = 0;
};

}  // namespace vkt
