#include "platform/qt/qt_clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

#include <memory>

#include "output/clipboard_payloads.h"

namespace orvamy::qt {
namespace {

QByteArray Bytes(std::string_view s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

bool QtClipboard::Publish(std::function<void(QMimeData&)> fill) {
  auto work = [fill = std::move(fill)]() -> bool {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    auto mime = std::make_unique<QMimeData>();
    fill(*mime);
    clipboard->setMimeData(mime.release(), QClipboard::Clipboard);  // the clipboard owns it now
    return clipboard->ownsClipboard();
  };
  if (bridge_.OnUiThread()) return work();
  const std::shared_ptr<Waiter> waiter = bridge_.NewWaiter();
  bridge_.Post([waiter, work = std::move(work)] {
    if (!waiter->IsSettled()) waiter->Settle(work());
  });
  return bridge_.Await(waiter);
}

bool QtClipboard::CopyGifAsHtml(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray gif = file.readAll();
  if (gif.isEmpty()) return false;
  const std::string url = FileUrlFromPath(path);
  const QByteArray html = Bytes(MakeCopyHtml(url));
  const QByteArray uri_list = Bytes(url + "\r\n");
  const QByteArray gnome = Bytes("copy\n" + url);
  return Publish([=](QMimeData& mime) {
    mime.setData(QStringLiteral("text/html"), html);
    mime.setData(QStringLiteral("image/gif"), gif);
    mime.setData(QStringLiteral("text/uri-list"), uri_list);
    mime.setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
  });
}

bool QtClipboard::CopyGifForQQ(const std::string& path) {
  const ByteArray block = MakeQQClipboardBlock(path);
  const QByteArray data(reinterpret_cast<const char*>(block.data()),
                        static_cast<qsizetype>(block.size()));
  return Publish([=](QMimeData& mime) {
    mime.setData(QString::fromUtf8(kQQClipboardFormat.data(),
                                   static_cast<qsizetype>(kQQClipboardFormat.size())),
                 data);
  });
}

}  // namespace orvamy::qt
