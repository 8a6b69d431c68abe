#include "platform/qt/qt_messages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

#include <cstdio>
#include <string>

#include "form/main_window_layout.h"

namespace orvamy::qt {
namespace {

// A child of the main window: a dialog transient for it, which window
// managers keep above it and focus when it opens.
std::unique_ptr<QMessageBox> MakeBox(const QString& text, const QString& title, QWidget& owner) {
  auto box =
      std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok, &owner);
  box->setWindowFlag(Qt::WindowStaysOnTopHint);  // the main window may be on top
  return box;
}

void Log(std::string_view text) {
  std::string line(text);
  for (char& ch : line) {
    if (ch == '\n') ch = ' ';
  }
  std::fprintf(stderr, "orvamy-gif: message: %s\n", line.c_str());
  std::fflush(stderr);
}

bool InMessageBox(QObject* watched) {
  if (!watched->isWidgetType()) return false;
  return qobject_cast<QMessageBox*>(static_cast<QWidget*>(watched)->window()) != nullptr;
}

}  // namespace

RepeatedKeyFilter::RepeatedKeyFilter() { qApp->installEventFilter(this); }

RepeatedKeyFilter::~RepeatedKeyFilter() { qApp->removeEventFilter(this); }

bool RepeatedKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  if (type == QEvent::KeyRelease) {
    // Whoever gets it: the repeat's press may go to a box opened since.
    last_release_scan_code_ = key->nativeScanCode();
    last_release_time_ = key->timestamp();
    return false;
  }
  // Time 0 marks an event another program sent, never the server's repeat.
  const bool repeated = key->isAutoRepeat() ||
                        (key->timestamp() != 0 && key->timestamp() == last_release_time_ &&
                         key->nativeScanCode() == last_release_scan_code_);
  return repeated && InMessageBox(watched);
}

QtMessages::~QtMessages() { DismissAll(); }

void QtMessages::ShowMessage(std::string_view text, std::string_view title) {
  Log(text);
  const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString qtitle = QString::fromUtf8(
      title.empty() ? kDefaultMessageTitle.data() : title.data(),
      static_cast<qsizetype>(title.empty() ? kDefaultMessageTitle.size() : title.size()));

  if (bridge_.OnUiThread()) {
    MakeBox(qtext, qtitle, owner_)->exec();
    return;
  }

  const std::shared_ptr<Waiter> waiter = bridge_.NewWaiter();
  bridge_.Post([this, waiter, qtext, qtitle] {
    if (waiter->IsSettled()) return;  // dismissed before it could be shown
    QMessageBox* box = MakeBox(qtext, qtitle, owner_).release();  // the main window owns it
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, [waiter] { waiter->Settle(true); });
    QObject::connect(box, &QObject::destroyed, [waiter] { waiter->Settle(false); });
    {
      std::lock_guard lock(mutex_);
      std::erase_if(open_, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
      open_.emplace_back(box);
    }
    box->show();
    box->raise();
    box->activateWindow();
  });
  bridge_.Await(waiter);
}

void QtMessages::DismissAll() {
  bridge_.CancelAll();
  if (!bridge_.OnUiThread()) return;  // the boxes themselves belong to the UI thread
  std::vector<QPointer<QMessageBox>> boxes;
  {
    std::lock_guard lock(mutex_);
    boxes.swap(open_);
  }
  for (const QPointer<QMessageBox>& box : boxes) {
    if (box) box->close();
  }
}

}  // namespace orvamy::qt
