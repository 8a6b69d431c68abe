#pragma once
// Message boxes: the text, one OK button, no icon. Each box belongs to the
// main window (transient for it), so the window manager opens it above the
// window, which may itself be on top, and gives it the focus. On the UI
// thread the box is modal; from any other thread it leaves the main window
// usable while the calling thread waits for its dismissal.
// A box answers only keys pressed while it is open: the auto-repeat of a key
// held down from before (a stuck key) would otherwise close every new box the
// moment it appears.
// Every message is also written to stderr, one line, for logs and scripts.

#include <QObject>
#include <QPointer>

#include <memory>
#include <mutex>
#include <vector>

#include "ports/ports.h"
#include "platform/qt/ui_bridge.h"

class QMessageBox;
class QWidget;

namespace orvamy::qt {

// Drops the auto-repeated key presses addressed to a message box. X sends a
// held key as release/press pairs with one time stamp, which Qt does not
// always recognise as a repeat; this filter also does. Called on the UI
// thread only.
class RepeatedKeyFilter final : public QObject {
 public:
  RepeatedKeyFilter();
  ~RepeatedKeyFilter() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  quint32 last_release_scan_code_ = 0;
  quint64 last_release_time_ = 0;
};

class QtMessages final : public MessagePort {
 public:
  // `owner`: the main window, which outlives every box.
  QtMessages(UiBridge& bridge, QWidget& owner) : bridge_(bridge), owner_(owner) {}
  ~QtMessages() override;

  // Thread-safe: returns once the box is dismissed (or DismissAll ran).
  void ShowMessage(std::string_view text, std::string_view title) override;
  // Closes the boxes shown for other threads and releases their waits.
  // Thread-safe; the boxes close only when called on the UI thread.
  void DismissAll() override;

 private:
  UiBridge& bridge_;
  QWidget& owner_;
  RepeatedKeyFilter repeated_keys_;
  std::mutex mutex_;  // guards open_
  std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace orvamy::qt
