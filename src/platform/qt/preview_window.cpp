#include "platform/qt/preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace orvamy::qt {

class PreviewFrameWidget final : public QWidget {
 public:
  explicit PreviewFrameWidget(std::function<void()> on_closed)
      : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                             Qt::WindowDoesNotAcceptFocus),
        on_closed_(std::move(on_closed)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString());
    setAutoFillBackground(false);
  }

  void CloseQuietly() {
    on_closed_ = nullptr;
    close();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
  }

  void closeEvent(QCloseEvent* event) override {
    event->accept();
    if (on_closed_) QTimer::singleShot(0, on_closed_);  // not from inside the close
    on_closed_ = nullptr;
  }

 private:
  std::function<void()> on_closed_;
};

namespace {

// The screen that shows a device-pixel point: Qt keeps each screen's top left
// corner in both coordinate systems and scales from there.
const QScreen* ScreenOf(int x, int y) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect logical = screen->geometry();
    const qreal scale = screen->devicePixelRatio();
    const QRect device(logical.topLeft(), logical.size() * scale);
    if (device.contains(x, y)) return screen;
  }
  return QGuiApplication::primaryScreen();
}

}  // namespace

qreal QtPreviewWindow::ScaleAt(const ScreenRect& r) {
  const QScreen* screen = ScreenOf(r.left + r.width / 2, r.top + r.height / 2);
  const qreal scale = screen ? screen->devicePixelRatio() : 1.0;
  return scale > 0 ? scale : 1.0;
}

QRect QtPreviewWindow::ToLogical(const ScreenRect& r) {
  // The capture rectangle is in device pixels of the root window, Qt's
  // geometry in device-independent ones. Rounded outwards, so that at a
  // fractional position the band still lies wholly outside the rectangle.
  const QScreen* screen = ScreenOf(r.left + r.width / 2, r.top + r.height / 2);
  const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
  const qreal scale = ScaleAt(r);
  const auto logical = [scale](int device, int from) { return from + (device - from) / scale; };
  const int left = static_cast<int>(std::floor(logical(r.left, origin.x())));
  const int top = static_cast<int>(std::floor(logical(r.top, origin.y())));
  const int right = static_cast<int>(std::ceil(logical(r.left + r.width, origin.x())));
  const int bottom = static_cast<int>(std::ceil(logical(r.top + r.height, origin.y())));
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QtPreviewWindow::QtPreviewWindow(std::function<void()> on_closed_externally)
    : on_closed_externally_(std::move(on_closed_externally)) {}

QtPreviewWindow::~QtPreviewWindow() { Close(); }

void QtPreviewWindow::Open() {
  if (widget_) return;
  widget_ = std::make_unique<PreviewFrameWidget>([this] {
    widget_.reset();
    if (on_closed_externally_) on_closed_externally_();
  });
}

void QtPreviewWindow::Close() {
  if (!widget_) return;
  widget_->CloseQuietly();
  widget_.reset();
}

void QtPreviewWindow::SetOpacity(int alpha) {
  if (widget_) widget_->setWindowOpacity(alpha / 255.0);
}

void QtPreviewWindow::Place(std::optional<ScreenRect> capture_rect) {
  if (!widget_) return;
  if (!capture_rect) {
    widget_->hide();  // sizes below 1: nothing to frame until they are valid again
    return;
  }
  const QRect inner = ToLogical(*capture_rect);
  // At a scale above 1 the band keeps at least kBand device pixels.
  const int band = static_cast<int>(std::ceil(kBand / ScaleAt(*capture_rect)));
  const QRect outer = inner.adjusted(-band, -band, band, band);
  widget_->setGeometry(outer);
  // The window's shape is the band alone: the rectangle itself stays uncovered.
  widget_->setMask(QRegion(0, 0, outer.width(), outer.height()) -
                   QRegion(band, band, inner.width(), inner.height()));
  if (!widget_->isVisible()) widget_->show();
  widget_->raise();
}

}  // namespace orvamy::qt
