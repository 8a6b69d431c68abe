#include "platform/qt/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionComplex>
#include <QWheelEvent>

#include <xcb/xcb.h>

#include "platform/x11/x11_window_manager.h"

namespace orvamy::qt {
namespace {

QString Text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Utf8(const QString& s) { return s.toStdString(); }

// The width and height boxes: typed characters other than "-" and digits are
// dropped (pasting is not filtered); leaving the box normalises its number.
class IntegerEdit final : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString typed = event->text();
    if (!typed.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      for (const char32_t ch : typed.toUcs4()) {
        if (!AppController::AcceptsTypedCharacter(ch)) {
          event->accept();  // dropped
          return;
        }
      }
    }
    QLineEdit::keyPressEvent(event);
  }

  // Text an input method commits (a CJK input method, a compose sequence)
  // passes the same filter as typed characters.
  void inputMethodEvent(QInputMethodEvent* event) override {
    for (const char32_t ch : event->commitString().toUcs4()) {
      if (!AppController::AcceptsTypedCharacter(ch)) {
        QInputMethodEvent kept(event->preeditString(), event->attributes());
        QLineEdit::inputMethodEvent(&kept);  // the pre-edit text shows, nothing is committed
        return;
      }
    }
    QLineEdit::inputMethodEvent(event);
  }

  void focusOutEvent(QFocusEvent* event) override {
    const int selection = hasSelectedText() ? selectionStart() : cursorPosition();
    if (const auto normalised = AppController::NormaliseOnFocusLoss(Utf8(text()), selection)) {
      setText(Text(normalised->text));
      setCursorPosition(normalised->caret);
    }
    QLineEdit::focusOutEvent(event);
  }
};

// The selection index as the core reads it: the list item whose text the
// edit field shows, else -1 (text typed into the box).
int OpacityIndex(const QComboBox& box) {
  const int index = box.currentIndex();
  if (index >= 0 && box.itemText(index) == box.currentText()) return index;
  return -1;
}

// The opacity box is 48 pixels wide, as on Windows, where its field holds
// "15%". The toolkit's arrow button (19 px) and frame left the field too
// narrow for the text at our font, which then scrolled to ".5%" once the
// box had had the focus; a narrower arrow leaves the field room for it.
class NarrowComboArrowStyle final : public QProxyStyle {
 public:
  static constexpr int kArrowWidth = 13;
  static constexpr int kFrameWidth = 2;

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl part, const QWidget* widget) const override {
    if (control == CC_ComboBox && (part == SC_ComboBoxArrow || part == SC_ComboBoxEditField)) {
      const QRect r = option->rect;
      const QRect wanted =
          part == SC_ComboBoxArrow
              ? QRect(r.right() - kArrowWidth + 1, r.top(), kArrowWidth, r.height())
              : QRect(r.left() + kFrameWidth, r.top() + kFrameWidth,
                      r.width() - kArrowWidth - kFrameWidth, r.height() - 2 * kFrameWidth);
      return visualRect(option->direction, r, wanted);
    }
    return QProxyStyle::subControlRect(control, option, part, widget);
  }
};

}  // namespace

void QtTimer::SetPeriod(int milliseconds) {
  if (milliseconds > 0) {
    timer_.start(milliseconds);
  } else {
    timer_.stop();
  }
}

MainWindow::MainWindow(x11::X11WindowManager* window_manager)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      window_manager_(window_manager) {
  setWindowTitle(Text(kMainWindowTitle));
  resize(kMainWindowClientWidth, kMainWindowClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - kMainWindowClientWidth) / 2,
         area.top() + (area.height() - kMainWindowClientHeight) / 2);
  }

  // Created in table order, which Qt also takes as the Tab order.
  for (const ControlSpec& control : kMainWindowControls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::Label: {
        auto* label = new QLabel(Text(control.text), this);  // owned by the window
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        widget = label;
        break;
      }
      case ControlKind::EditBox: {
        QLineEdit* edit = control.id == ControlId::RateEdit ? new QLineEdit(this) : new IntegerEdit(this);
        edit->setText(Text(control.text));
        widget = edit;
        break;
      }
      case ControlKind::CheckBox: {
        auto* box = new QCheckBox(Text(control.text), this);
        box->setChecked(control.initially_ticked);
        widget = box;
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        auto* style = new NarrowComboArrowStyle;  // owned by the combo box
        style->setParent(combo);
        combo->setStyle(style);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string_view item : kOpacityItems) combo->addItem(Text(item));
        combo->setCurrentIndex(kInitialOpacityIndex);
        combo->setEditText(Text(kInitialOpacityText));
        combo->lineEdit()->setCursorPosition(0);
        widget = combo;
        break;
      }
      case ControlKind::Button:
        widget = new QPushButton(Text(control.text), this);
        break;
      case ControlKind::GroupBox:
        widget = new QGroupBox(Text(control.text), this);
        break;
      case ControlKind::Timer:
      case ControlKind::DrawPanel:
        break;  // no widget: the QtTimer and the core's frame canvas
    }
    if (!widget) continue;
    widget->setGeometry(control.left, control.top, control.width, control.height);
    widget->setObjectName(Text(control.form_name));
    if (!control.tab_stop) widget->setFocusPolicy(Qt::NoFocus);
    controls_[control.id] = widget;
  }
  qApp->installEventFilter(this);
  qApp->installNativeEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeNativeEventFilter(this);
  qApp->removeEventFilter(this);
}

template <class W>
W* MainWindow::Control(ControlId id) const {
  return static_cast<W*>(controls_.at(id));
}

void MainWindow::Attach(AppController& controller, QtTimer& preview_timer) {
  controller_ = &controller;
  AppController* c = &controller;
  connect(Control<QPushButton>(ControlId::RecordButton), &QPushButton::clicked, this,
          [c] { c->OnRecordClicked(); });
  connect(Control<QPushButton>(ControlId::StopButton), &QPushButton::clicked, this,
          [c] { c->OnStopClicked(); });
  connect(Control<QPushButton>(ControlId::AboutButton), &QPushButton::clicked, this,
          [c] { c->OnAboutClicked(); });
  connect(Control<QCheckBox>(ControlId::OnTopBox), &QCheckBox::clicked, this,
          [c](bool ticked) { c->OnAlwaysOnTopClicked(ticked); });
  auto* opacity = Control<QComboBox>(ControlId::OpacityBox);
  connect(Control<QCheckBox>(ControlId::PreviewBox), &QCheckBox::clicked, this,
          [c, opacity](bool ticked) {
            c->OnPreviewClicked(ticked, OpacityIndex(*opacity), Utf8(opacity->currentText()));
          });
  connect(Control<QCheckBox>(ControlId::MarkerBox), &QCheckBox::toggled, this,
          [c](bool ticked) { c->OnMarkerToggled(ticked); });
  connect(Control<QLineEdit>(ControlId::WidthEdit), &QLineEdit::textChanged, this,
          [c](const QString& t) { c->OnWidthTextChanged(Utf8(t)); });
  connect(Control<QLineEdit>(ControlId::HeightEdit), &QLineEdit::textChanged, this,
          [c](const QString& t) { c->OnHeightTextChanged(Utf8(t)); });
  connect(Control<QLineEdit>(ControlId::RateEdit), &QLineEdit::textChanged, this,
          [c](const QString& t) { c->OnRateTextChanged(Utf8(t)); });
  connect(&preview_timer.timer(), &QTimer::timeout, this, [c] { c->OnPreviewTimerTick(); });

  // The mirror starts from what the controls show.
  c->OnWidthTextChanged(Utf8(Control<QLineEdit>(ControlId::WidthEdit)->text()));
  c->OnHeightTextChanged(Utf8(Control<QLineEdit>(ControlId::HeightEdit)->text()));
  c->OnRateTextChanged(Utf8(Control<QLineEdit>(ControlId::RateEdit)->text()));
  c->OnMarkerToggled(Control<QCheckBox>(ControlId::MarkerBox)->isChecked());
}

void MainWindow::SetWidthText(const std::string& text) {
  Control<QLineEdit>(ControlId::WidthEdit)->setText(Text(text));
}

void MainWindow::SetHeightText(const std::string& text) {
  Control<QLineEdit>(ControlId::HeightEdit)->setText(Text(text));
}

void MainWindow::SetAlwaysOnTop(bool on_top) {
  if (!window_manager_) return;  // Wayland: the box is disabled, nothing to honour
  if (!isVisible()) {
    // Not mapped yet: the state goes into the window's initial properties.
    setWindowFlag(Qt::WindowStaysOnTopHint, on_top);
    return;
  }
  // Mapped: ask the window manager; changing Qt's flag would unmap the window.
  window_manager_->SetAlwaysOnTop(static_cast<std::uint32_t>(winId()), on_top);
}

void MainWindow::DisableWhatWaylandForbids() {
  setWindowFlag(Qt::WindowStaysOnTopHint, false);
  const struct {
    ControlId id;
    const char* why;
  } boxes[] = {
      {ControlId::OnTopBox,
       "Wayland 不允许程序自己把窗口保持在最前；需要时请用桌面的窗口菜单（如“置顶”）。"},
      {ControlId::PreviewBox,
       "Wayland 不允许程序把预览框放到指定位置并让鼠标点击穿过它，所以这里不能显示预览框。"},
  };
  for (const auto& box : boxes) {
    auto* check = Control<QCheckBox>(box.id);
    check->setChecked(false);
    check->setEnabled(false);
    check->setToolTip(QString::fromUtf8(box.why));
  }
}

void MainWindow::SetPreviewTicked(bool ticked) {
  Control<QCheckBox>(ControlId::PreviewBox)->setChecked(ticked);
}

void MainWindow::SetCaption(std::string text) {
  QMetaObject::invokeMethod(
      this, [this, t = Text(text)] { setWindowTitle(t); }, Qt::QueuedConnection);
}

void MainWindow::SetRecordEnabled(bool enabled) {
  QMetaObject::invokeMethod(
      this, [this, enabled] { Control<QPushButton>(ControlId::RecordButton)->setEnabled(enabled); },
      Qt::QueuedConnection);
}

void MainWindow::EndWithTheWindow() {
  if (!closed_) {
    closed_ = true;
    if (controller_) controller_->OnWindowClosing();
  }
  QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  EndWithTheWindow();
}

bool MainWindow::nativeEventFilter(const QByteArray& event_type, void* message, qintptr*) {
  if (event_type != "xcb_generic_event_t" || closed_) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
  const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
  // Only while Qt thinks the window is there: Qt's own destruction of it at
  // exit is not news.
  if (!testAttribute(Qt::WA_WState_Created) || destroyed->window != winId()) return false;
  // Queued: not from inside Qt's handling of the X event.
  QMetaObject::invokeMethod(this, [this] { EndWithTheWindow(); }, Qt::QueuedConnection);
  return false;
}

void MainWindow::wheelEvent(QWheelEvent* event) {
  event->accept();
  if (!controller_) return;
  // Only the window's own area: the bare background and the inside of the
  // group box. Wheel turns over any other control change nothing, also when
  // the control let the event pass up to the window.
  QWidget* under = childAt(mapFromGlobal(event->globalPosition().toPoint()));
  if (under && under != controls_.at(ControlId::SizingGroup)) return;
  // Qt turns Alt + wheel into horizontal scrolling: take either orientation.
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  const Qt::KeyboardModifiers mods = event->modifiers();
  Modifiers held = Modifiers::kNone;
  if (mods & Qt::ControlModifier) held = held | Modifiers::kCtrl;
  if (mods & Qt::ShiftModifier) held = held | Modifiers::kShift;
  if (mods & Qt::AltModifier) held = held | Modifiers::kAlt;
  controller_->OnWheel(delta, held);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Esc without Ctrl, Shift or Alt closes the window whichever control has
  // the focus (open pop-ups are windows of their own and keep their Esc).
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier &&
        static_cast<QWidget*>(watched)->window() == this) {
      close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orvamy::qt
