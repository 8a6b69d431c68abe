#include "platform/win32/win32_clipboard.h"

#include "platform/win32/win32_util.h"

#include <ole2.h>
#include <oleauto.h>
#include <shlobj.h>

#include <array>
#include <cstring>
#include <utility>

#include "output/clipboard_payloads.h"

namespace orvamy::win32 {
namespace {

// The HTML engine's document object.
constexpr wchar_t kHtmlDocumentClsid[] = L"{25336920-03F9-11CF-8FD0-00AA00686F13}";

// Owns one COM interface pointer.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* get() const { return p_; }
  T** put() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  explicit Variant(std::wstring_view text) : Variant() {
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!v_.bstrVal) v_.vt = VT_EMPTY;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Int(LONG value) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = value;
    return v;
  }
  static Variant Object(IDispatch* object) {  // adds a reference
    Variant v;
    if (object) {
      object->AddRef();
      v.v_.vt = VT_DISPATCH;
      v.v_.pdispVal = object;
    }
    return v;
  }
  ~Variant() { VariantClear(&v_); }
  Variant(Variant&& other) noexcept : Variant() { std::swap(v_, other.v_); }
  Variant& operator=(Variant&&) = delete;
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* get() { return &v_; }

  // The value as an object; empty when it is none.
  ComRef<IDispatch> TakeObject() {
    ComRef<IDispatch> object;
    if (v_.vt == VT_DISPATCH && v_.pdispVal) {
      v_.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put()));
    }
    return object;
  }
  // The value as a truth; false when it cannot be converted.
  bool AsBool() {
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), &v_, 0, VT_BOOL))) return false;
    return converted.v_.boolVal != VARIANT_FALSE;
  }

 private:
  VARIANT v_;
};

// A late-bound call of the member `name` on `object`; arguments in call order.
// An empty object, a member that cannot be found and a failed call all give an
// empty result: the caller goes on and the chain ends in a false result.
template <std::size_t N>
Variant Invoke(IDispatch* object, const wchar_t* name, WORD kind, std::array<Variant, N>& args) {
  Variant result;
  if (!object) return result;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return result;
  std::array<VARIANT, N == 0 ? 1 : N> reversed{};  // DISPPARAMS wants the last argument first
  for (std::size_t i = 0; i < N; ++i) reversed[N - 1 - i] = *args[i].get();  // shallow: args own
  DISPPARAMS params{N == 0 ? nullptr : reversed.data(), nullptr, static_cast<UINT>(N), 0};
  EXCEPINFO error{};
  UINT bad_argument = 0;
  if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result.get(),
                            &error, &bad_argument))) {
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
    return Variant();
  }
  return result;
}

template <typename... Args>
Variant Call(IDispatch* object, const wchar_t* name, Args&&... args) {
  std::array<Variant, sizeof...(Args)> list{std::forward<Args>(args)...};
  return Invoke(object, name, DISPATCH_METHOD, list);
}

Variant Get(IDispatch* object, const wchar_t* name) {
  std::array<Variant, 0> none{};
  return Invoke(object, name, DISPATCH_PROPERTYGET, none);
}

// Creates the object and asks it to run; empty on any failure.
ComRef<IDispatch> CreateObject(const wchar_t* clsid_text) {
  ComRef<IDispatch> result;
  CLSID clsid{};
  if (FAILED(CLSIDFromString(const_cast<LPOLESTR>(clsid_text), &clsid))) return result;
  ComRef<IUnknown> unknown;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                reinterpret_cast<void**>(unknown.put()));
  if (hr == E_INVALIDARG) {
    hr = CoCreateInstance(clsid, nullptr,
                          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                          IID_IUnknown, reinterpret_cast<void**>(unknown.put()));
  }
  if (FAILED(hr) || !unknown) return result;
  if (FAILED(OleRun(unknown.get()))) return result;
  unknown.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result.put()));
  return result;
}

// OLE (a single-threaded apartment plus the OLE clipboard, which the engine's
// copy command needs) for the calling thread, for as long as this lives. When
// it ends, OLE flushes what the engine put on the clipboard so that it
// outlives the engine.
class OleApartment {
 public:
  OleApartment() : hr_(OleInitialize(nullptr)) {}
  ~OleApartment() {
    if (SUCCEEDED(hr_)) OleUninitialize();
  }
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
  bool ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

bool CopyThroughHtmlEngine(const std::string& path) {
  OleApartment apartment;
  if (!apartment.ok()) return false;
  // Every step runs whatever the one before gave: a missing object yields
  // empty results down the chain and a false copy, never an error.
  const std::wstring html = Widen(MakeCopyHtml(path));
  ComRef<IDispatch> document = CreateObject(kHtmlDocumentClsid);
  Call(document.get(), L"write", Variant(html));
  ComRef<IDispatch> body = Get(document.get(), L"body").TakeObject();
  ComRef<IDispatch> range = Call(body.get(), L"createControlRange").TakeObject();
  body.Reset();
  ComRef<IDispatch> image = Call(document.get(), L"getElementById", Variant(L"img")).TakeObject();
  Call(range.get(), L"add", Variant::Object(image.get()));
  const bool copied =
      Call(range.get(), L"execCommand", Variant(L"copy"), Variant::Bool(false), Variant::Int(0))
          .AsBool();
  document.Reset();
  range.Reset();
  image.Reset();
  return copied;
}

// A clipboard block holding `size` bytes of `data`, or an empty block.
GlobalBlock MakeBlock(const void* data, std::size_t size) {
  GlobalBlock block(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size);
  if (block && !block.Fill(data, size)) return GlobalBlock();
  return block;
}

// CF_HDROP naming the one file (wide), double zero terminated.
GlobalBlock MakeFileDropBlock(const std::wstring& path) {
  std::string bytes(sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t), '\0');
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::memcpy(bytes.data(), &header, sizeof header);
  std::memcpy(bytes.data() + sizeof header, path.data(), path.size() * sizeof(wchar_t));
  return MakeBlock(bytes.data(), bytes.size());
}

// Adds the file and its drop effect to the open clipboard. Failure here leaves
// the other formats in place.
void AddFileDrop(GlobalBlock& files, GlobalBlock& effect) {
  if (files && SetClipboardData(CF_HDROP, files.get())) files.Release();
  const UINT effect_format = RegisterClipboardFormatW(L"Preferred DropEffect");
  if (effect && effect_format != 0 && SetClipboardData(effect_format, effect.get())) {
    effect.Release();
  }
}

struct FileDropBlocks {
  GlobalBlock files;
  GlobalBlock effect;
};

FileDropBlocks MakeFileDrop(const std::string& path) {
  const DWORD copy_effect = DROPEFFECT_COPY;
  return FileDropBlocks{MakeFileDropBlock(Widen(path)), MakeBlock(&copy_effect, sizeof copy_effect)};
}

}  // namespace

bool Win32Clipboard::CopyGifAsHtml(const std::string& path) {
  if (!CopyThroughHtmlEngine(path)) return false;
  // The engine owns what it put there; add the file beside it without emptying.
  FileDropBlocks drop = MakeFileDrop(path);
  OpenedClipboard clipboard;
  if (clipboard) AddFileDrop(drop.files, drop.effect);
  return true;
}

bool Win32Clipboard::CopyGifForQQ(const std::string& path) {
  // Everything is built before the clipboard is touched, so any failure leaves
  // the user's clipboard as it was and holds it open only briefly. QQ reads
  // the path as bytes of the ANSI code page; a path the code page cannot
  // spell would name a file that does not exist, so the QQ block is left out
  // and the copy reports false, while the file itself (UTF-16) still goes on.
  const std::optional<std::string> ansi_path = Utf8ToAnsiExactly(path);
  FileDropBlocks drop = MakeFileDrop(path);
  if (!ansi_path) {
    OpenedClipboard clipboard;
    if (clipboard && EmptyClipboard()) AddFileDrop(drop.files, drop.effect);
    return false;
  }
  const ByteArray payload = MakeQQClipboardBlock(*ansi_path);
  GlobalBlock block = MakeBlock(payload.data(), payload.size());
  if (!block) return false;

  OpenedClipboard clipboard;
  if (!clipboard) return false;
  const UINT format = RegisterClipboardFormatA(std::string(kQQClipboardFormat).c_str());
  if (format == 0) return false;
  if (!EmptyClipboard()) return false;
  // A refused block stays ours and is freed; the copy then did not happen.
  if (!SetClipboardData(format, block.get())) return false;
  block.Release();
  AddFileDrop(drop.files, drop.effect);
  return true;
}

}  // namespace orvamy::win32
