#pragma once
// Puts a saved GIF on the clipboard: through the HTML engine's document object
// (late-bound IDispatch calls), else in the QQ messenger's rich-edit format.
// After either succeeds the file itself is added as CF_HDROP with a
// "Preferred DropEffect" of copy, so that chat programs that take files paste
// the animated GIF.

#include "ports/ports.h"

namespace orvamy::win32 {

// Called on the recorder thread (any thread works: the HTML route brings its
// own single-threaded COM apartment around the calls).
class Win32Clipboard final : public ClipboardExporter {
 public:
  // `path` is UTF-8.
  bool CopyGifAsHtml(const std::string& path) override;
  bool CopyGifForQQ(const std::string& path) override;
};

}  // namespace orvamy::win32
