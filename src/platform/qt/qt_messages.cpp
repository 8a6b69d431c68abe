#include "platform/qt/qt_messages.h"

#include <QMessageBox>

#include <cstdio>
#include <string>

#include "form/main_window_layout.h"

namespace orvamy::qt {
namespace {

std::unique_ptr<QMessageBox> MakeBox(const QString& text, const QString& title) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
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

}  // namespace

QtMessages::~QtMessages() { DismissAll(); }

void QtMessages::ShowMessage(std::string_view text, std::string_view title) {
  Log(text);
  const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString qtitle = QString::fromUtf8(
      title.empty() ? kDefaultMessageTitle.data() : title.data(),
      static_cast<qsizetype>(title.empty() ? kDefaultMessageTitle.size() : title.size()));

  if (bridge_.OnUiThread()) {
    MakeBox(qtext, qtitle)->exec();
    return;
  }

  const std::shared_ptr<Waiter> waiter = bridge_.NewWaiter();
  bridge_.Post([this, waiter, qtext, qtitle] {
    if (waiter->IsSettled()) return;  // dismissed before it could be shown
    QMessageBox* box = MakeBox(qtext, qtitle).release();
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
