#pragma once
// Message boxes: the text, one OK button, no icon, no owner. On the UI thread
// the box is modal; from any other thread it is a separate window that leaves
// the main window usable while the calling thread waits for its dismissal.
// Every message is also written to stderr, one line, for logs and scripts.

#include <QPointer>

#include <memory>
#include <mutex>
#include <vector>

#include "ports/ports.h"
#include "platform/qt/ui_bridge.h"

class QMessageBox;

namespace orvamy::qt {

class QtMessages final : public MessagePort {
 public:
  explicit QtMessages(UiBridge& bridge) : bridge_(bridge) {}
  ~QtMessages() override;

  void ShowMessage(std::string_view text, std::string_view title) override;
  // Closes the boxes shown for other threads and releases their waits.
  void DismissAll() override;

 private:
  UiBridge& bridge_;
  std::mutex mutex_;  // guards open_
  std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace orvamy::qt
