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

// The largest GIF that text/html carries inline as a data: URL. A browser
// inserting our HTML itself (rich editors, chats) may not load a file URL,
// but it shows a data: URL; browsers take data: URLs of 32 MB and more, and
// 16 MB of GIF is 21.4 MB of base64 (served whole through INCR: 22 MiB of
// text/html reached xclip in 1.6 s on a loaded test machine, 45 MiB in 2.3 s).
// Larger files go by their file URL.
constexpr qsizetype kMaxInlineGifBytes = 16 * 1024 * 1024;

// The one-image document for text/html: the GIF inline up to the limit.
QByteArray HtmlForGif(const QByteArray& gif, const std::string& file_url) {
  if (gif.size() > kMaxInlineGifBytes) return Bytes(MakeCopyHtml(file_url));
  return Bytes(MakeCopyHtml(GifDataUrl(std::string_view(gif.constData(),
                                                        static_cast<std::size_t>(gif.size())))));
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
  const QByteArray html = HtmlForGif(gif, url);
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
