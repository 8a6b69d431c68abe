#include "platform/qt/preview_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QWidget>

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
  const ScreenRect& r = *capture_rect;
  const QRect inner(r.left, r.top, r.width, r.height);
  const QRect outer = inner.adjusted(-kBand, -kBand, kBand, kBand);
  widget_->setGeometry(outer);
  // The window's shape is the band alone: the rectangle itself stays uncovered.
  widget_->setMask(QRegion(0, 0, outer.width(), outer.height()) -
                   QRegion(kBand, kBand, r.width, r.height));
  if (!widget_->isVisible()) widget_->show();
  widget_->raise();
}

}  // namespace orvamy::qt
