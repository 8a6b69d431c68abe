#pragma once
// The CLIPBOARD selection, served by Qt on the UI thread for as long as the
// program runs. The HTML route offers, at once, text/html (the one-image
// document whose src is the GIF as a data: URL, or the file's URL for files
// above 16 MB), image/gif (the file's bytes); both are made from the file when
// another program asks, never held in memory; text/uri-list and x-special/gnome-copied-files, so
// browsers, chat programs and file managers all paste the animation. The QQ
// route offers the QQ
// rich-edit text under the target "QQ_RichEdit_Format".
// Called on the recorder thread: the work is posted to the UI thread and the
// wait ends early (false) when the program shuts down.

#include <functional>

#include "ports/ports.h"
#include "platform/qt/ui_bridge.h"

namespace orvamy::qt {

class FileBackedMimeData;

class QtClipboard final : public ClipboardExporter {
 public:
  explicit QtClipboard(UiBridge& bridge) : bridge_(bridge) {}

  bool CopyGifAsHtml(const std::string& path) override;
  bool CopyGifForQQ(const std::string& path) override;

 private:
  // Takes the selection with the data `fill` puts in, on the UI thread; true
  // when this program then owns it.
  bool Publish(std::function<void(FileBackedMimeData&)> fill);

  UiBridge& bridge_;
};

}  // namespace orvamy::qt
