#pragma once
// The texts that carry a saved GIF to the clipboard. Both take the path byte
// for byte as given (the Windows back end passes it in the ANSI code page for
// the QQ text and as UTF-8 elsewhere) and insert it once, unescaped.

#include <string>
#include <string_view>

#include "base/byte_array.h"

namespace orvamy {

inline constexpr std::string_view kGifFileNamePlaceholder = "[&GifFileName]";
inline constexpr std::string_view kQQClipboardFormat = "QQ_RichEdit_Format";

// The 150-byte one-image HTML document (CR LF line ends) with its src filled in.
std::string MakeCopyHtml(std::string_view image_source);

// The QQ rich-edit XML text naming the file: 125 bytes plus the path.
std::string MakeQQPayload(std::string_view path);

// The clipboard block for the QQ format: the payload and one terminating zero.
ByteArray MakeQQClipboardBlock(std::string_view path);

// "file://" URL of an absolute POSIX path, every byte outside the unreserved
// set and "/" percent-encoded (for the Linux HTML and uri-list forms).
std::string FileUrlFromPath(std::string_view absolute_path);

// "data:image/gif;base64,..." carrying the bytes themselves (standard base64
// alphabet with "=" padding), for pages that may not load a file URL.
std::string GifDataUrl(std::string_view gif_bytes);

}  // namespace orvamy
