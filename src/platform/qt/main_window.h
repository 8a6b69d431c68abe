#pragma once
// MainWindow: the widgets of the control table, each at its place, forwarding
// every event to the AppController. Qt code only builds and forwards; the
// window's logic lives in the core.
// Supports: the control table's widgets, Tab order, Esc closing from any
// control, integer-only width and height boxes, the editable opacity box,
// wheel sizing over the window's own area, always-on-top through the window
// manager, ending the program when the window is destroyed from outside.
// `画板1` has no widget: the core's frame canvas carries its settings.

#include <QAbstractNativeEventFilter>
#include <QTimer>
#include <QWidget>

#include <map>

#include "app/app_controller.h"
#include "form/main_window_layout.h"
#include "ports/ports.h"

class QComboBox;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orvamy::x11 {
class X11WindowManager;
}

namespace orvamy::qt {

// The preview timer `时钟1`. Called on the UI thread only.
class QtTimer final : public TimerPort {
 public:
  QtTimer() = default;
  void SetPeriod(int milliseconds) override;
  QTimer& timer() { return timer_; }

 private:
  QTimer timer_;
};

class MainWindow final : public QWidget,
                         public QAbstractNativeEventFilter,
                         public MainWindowView,
                         public RecorderView {
 public:
  // `window_manager` is null on Wayland, where a client can neither keep its
  // window above others nor place a click-through frame.
  explicit MainWindow(x11::X11WindowManager* window_manager);
  ~MainWindow() override;

  // Connects the controls to the controller; before show().
  void Attach(AppController& controller, QtTimer& preview_timer);
  // Wayland: the on-top and preview boxes are shown unticked and disabled,
  // each with a tooltip saying why. Before show(); UI thread only.
  void DisableWhatWaylandForbids();

  // MainWindowView: UI thread only.
  void SetWidthText(const std::string& text) override;
  void SetHeightText(const std::string& text) override;
  void SetAlwaysOnTop(bool on_top) override;
  void SetPreviewTicked(bool ticked) override;

  // RecorderView: thread-safe, posted to the UI thread in call order.
  void SetCaption(std::string text) override;
  void SetRecordEnabled(bool enabled) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Watches for the window being destroyed by another program (a DestroyNotify
  // of its X window): the program then ends as when the window closes.
  bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;

 private:
  template <class W>
  W* Control(ControlId id) const;
  // Ends the program as closing the window does; once.
  void EndWithTheWindow();

  x11::X11WindowManager* window_manager_;
  AppController* controller_ = nullptr;
  std::map<ControlId, QWidget*> controls_;
  bool closed_ = false;
};

}  // namespace orvamy::qt
