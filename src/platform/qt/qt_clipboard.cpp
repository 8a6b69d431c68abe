#include "platform/qt/qt_clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>

#include <functional>
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

QByteArray ReadFile(const QString& path) {
  QFile source(path);
  if (!source.open(QIODevice::ReadOnly)) return {};
  return source.readAll();
}

// The one-image document for text/html: the GIF inline up to the limit, else
// (or when the file cannot be read any more) its file URL.
QByteArray HtmlForGif(const QString& gif_path, const std::string& file_url) {
  QFile file(gif_path);
  if (file.size() > kMaxInlineGifBytes) return Bytes(MakeCopyHtml(file_url));
  const QByteArray gif = ReadFile(gif_path);
  if (gif.isEmpty()) return Bytes(MakeCopyHtml(file_url));
  return Bytes(MakeCopyHtml(GifDataUrl(std::string_view(gif.constData(),
                                                        static_cast<std::size_t>(gif.size())))));
}

}  // namespace

// Clipboard data whose large payloads stay in their files: made when another
// program asks for them, not held for as long as the clipboard is ours (a
// long recording is hundreds of megabytes).
class FileBackedMimeData final : public QMimeData {
 public:
  using Producer = std::function<QByteArray()>;
  void SetProducer(const QString& format, Producer make) {
    producers_.insert(format, std::move(make));
  }
  void SetFile(const QString& format, const QString& path) {
    SetProducer(format, [path] { return ReadFile(path); });
  }

  QStringList formats() const override {
    QStringList all = QMimeData::formats();
    for (auto it = producers_.cbegin(); it != producers_.cend(); ++it) {
      if (!all.contains(it.key())) all.append(it.key());
    }
    return all;
  }

  bool hasFormat(const QString& format) const override {
    return producers_.contains(format) || QMimeData::hasFormat(format);
  }

 protected:
  QVariant retrieveData(const QString& format, QMetaType type) const override {
    const auto producer = producers_.constFind(format);
    if (producer == producers_.cend()) return QMimeData::retrieveData(format, type);
    QByteArray bytes = producer.value()();
    if (bytes.isEmpty()) return QVariant();
    return bytes;
  }

 private:
  QHash<QString, Producer> producers_;
};

bool QtClipboard::Publish(std::function<void(FileBackedMimeData&)> fill) {
  auto work = [fill = std::move(fill)]() -> bool {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    auto mime = std::make_unique<FileBackedMimeData>();
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
  const QString gif_path = QString::fromStdString(path);
  QFile file(gif_path);
  if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) return false;
  file.close();
  const std::string url = FileUrlFromPath(path);
  const QByteArray uri_list = Bytes(url + "\r\n");
  const QByteArray gnome = Bytes("copy\n" + url);
  return Publish([=](FileBackedMimeData& mime) {
    mime.SetProducer(QStringLiteral("text/html"), [gif_path, url] { return HtmlForGif(gif_path, url); });
    mime.SetFile(QStringLiteral("image/gif"), gif_path);
    mime.setData(QStringLiteral("text/uri-list"), uri_list);
    mime.setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
  });
}

bool QtClipboard::CopyGifForQQ(const std::string& path) {
  const ByteArray block = MakeQQClipboardBlock(path);
  const QByteArray data(reinterpret_cast<const char*>(block.data()),
                        static_cast<qsizetype>(block.size()));
  return Publish([=](FileBackedMimeData& mime) {
    mime.setData(QString::fromUtf8(kQQClipboardFormat.data(),
                                   static_cast<qsizetype>(kQQClipboardFormat.size())),
                 data);
  });
}

}  // namespace orvamy::qt
