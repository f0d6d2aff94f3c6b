#include "forms/dialogs.h"
#include "event_source.h"
#include "fltk_support.h"
#include "forms/display.h"
#include "seams.h"
#include "vcl/application.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

namespace forms {

namespace {

struct ButtonKind {
  TMsgDlgBtn button;
  const char* caption;
  TModalResult result;
};

// The platform's order and captions.
constexpr ButtonKind kButtonKinds[] = {
    {TMsgDlgBtn::mbYes, "&Yes", mrYes},
    {TMsgDlgBtn::mbNo, "&No", mrNo},
    {TMsgDlgBtn::mbOK, "OK", mrOk},
    {TMsgDlgBtn::mbCancel, "Cancel", mrCancel},
    {TMsgDlgBtn::mbAbort, "&Abort", mrAbort},
    {TMsgDlgBtn::mbRetry, "&Retry", mrRetry},
    {TMsgDlgBtn::mbIgnore, "&Ignore", mrIgnore},
    {TMsgDlgBtn::mbAll, "&All", mrAll},
    {TMsgDlgBtn::mbNoToAll, "N&o to All", mrNoToAll},
    {TMsgDlgBtn::mbYesToAll, "Yes to &All", mrYesToAll},
    {TMsgDlgBtn::mbHelp, "&Help", mrNone},
};

// Layout, in pixels.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;
constexpr int kFontHeight = 12;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  return lines;
}

// The kind's picture, drawn in the platform's style.
class IconWidget : public Fl_Widget {
 public:
  IconWidget(TMsgDlgType type) : Fl_Widget(0, 0, kIconSize, kIconSize), type_(type) {
    box(FL_NO_BOX);
  }
  void draw() override {
    detail::Guarded([this] { Paint(); });
  }

 private:
  void Paint() {
    const int X = x(), Y = y(), S = w();
    const char* mark = nullptr;
    Fl_Color disc = fl_rgb_color(0, 102, 204);
    switch (type_) {
      case TMsgDlgType::mtError:
        disc = fl_rgb_color(204, 0, 0);
        break;
      case TMsgDlgType::mtConfirmation:
        mark = "?";
        break;
      case TMsgDlgType::mtInformation:
        mark = "i";
        break;
      case TMsgDlgType::mtWarning: {
        fl_color(fl_rgb_color(255, 204, 0));
        fl_polygon(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
        fl_color(FL_BLACK);
        fl_loop(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
        fl_font(detail::ToFlFont("Arial", TFontStyles{TFontStyle::fsBold}), 20);
        fl_draw("!", X, Y + 8, S, S - 8, FL_ALIGN_CENTER);
        return;
      }
      case TMsgDlgType::mtCustom:
        return;
    }
    fl_color(disc);
    fl_pie(X, Y, S, S, 0, 360);
    fl_color(fl_darker(disc));
    fl_arc(X, Y, S, S, 0, 360);
    fl_color(FL_WHITE);
    if (mark == nullptr) {  // the error cross
      fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
      fl_line(X + 10, Y + 10, X + S - 11, Y + S - 11);
      fl_line(X + S - 11, Y + 10, X + 10, Y + S - 11);
      fl_line_style(0);
      return;
    }
    fl_font(detail::ToFlFont("Arial", TFontStyles{TFontStyle::fsBold}), 22);
    fl_draw(mark, X, Y, S, S, FL_ALIGN_CENTER);
  }

  TMsgDlgType type_;
};

// The message, one line per text line, wrapped at the box's text width.
class TextWidget : public Fl_Widget {
 public:
  TextWidget(std::string text, detail::TextLook look)
      : Fl_Widget(0, 0, 1, 1), text_(std::move(text)), look_(look) {
    box(FL_NO_BOX);
  }
  void draw() override {
    detail::Guarded([this] {
      detail::DrawCaption(
          text_, look_, x(), y(), w(), h(),
          static_cast<Fl_Align>(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP),
          false, false);
    });
  }

 private:
  std::string text_;
  detail::TextLook look_;
};

class MessageBox;

class BoxWindow : public Fl_Double_Window {
 public:
  BoxWindow(MessageBox* box) : Fl_Double_Window(100, 100), box_(box) {}
  void draw() override;
  int handle(int event) override;

 private:
  MessageBox* box_;
};

class MessageBox {
 public:
  MessageBox(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons)
      : message_(message), type_(type), alive_(std::make_shared<MessageBox*>(this)) {
    for (const ButtonKind& kind : kButtonKinds) {
      if (buttons.Contains(kind.button)) kinds_.push_back(kind);
    }
    if (kinds_.empty()) kinds_.push_back(kButtonKinds[2]);  // OK
    Build();
  }

  ~MessageBox() {
    alive_.reset();
    window_->hide();
    window_->clear_modal_states();
  }

  TModalResult Run() {
    window_->set_modal();
    window_->show();
    default_button_->take_focus();
    detail::RunModalLoop([this] { return result_ != mrNone; });
    if (result_ == mrNone) result_ = cancel_result_;  // the application was terminated
    return result_;
  }

  void Painted() {
    if (painted_) return;
    painted_ = true;
    if (!detail::InstalledMessageBoxResponder()) return;
    std::weak_ptr<MessageBox*> weak = alive_;
    QueueCall([weak] {
      if (const std::shared_ptr<MessageBox*> alive = weak.lock()) (*alive)->Respond();
    });
  }

  // Escape and the close box: the platform's cancel button.
  void Cancel() { result_ = cancel_result_; }

 private:
  void Build() {
    const TRect screen = ScreenWorkArea();
    TFont font;
    font.SetName("Arial");
    font.SetHeight(-kFontHeight);
    font.SetColor(clWindowText);
    const detail::TextLook look = detail::LookOf(font);

    const std::string shown = detail::DisplayText(message_);
    int text_w = 0;
    int text_h = 0;
    detail::MeasureCaption(shown, look, 0, text_w, text_h, false);
    const int wrap = std::max(200, screen.width / 2);
    if (text_w > wrap) detail::MeasureCaption(shown, look, wrap, text_w, text_h, false);

    const bool icon = type_ != TMsgDlgType::mtCustom;
    const int text_x = kMargin + (icon ? kIconSize + kMargin : 0);
    const int buttons_w =
        static_cast<int>(kinds_.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
    const int top_h = std::max(icon ? kIconSize : 0, text_h);
    const int client_w = std::max(text_x + text_w + kMargin, buttons_w + 2 * kMargin);
    const int client_h = kMargin + top_h + kMargin + kButtonHeight + kMargin;

    window_ = detail::MakeWidget<BoxWindow>(this);
    window_->size(client_w, client_h);
    window_->position(screen.left + (screen.width - client_w) / 2,
                      screen.top + (screen.height - client_h) / 2);
    window_->size_range(client_w, client_h, client_w, client_h);
    window_->copy_label(Caption().c_str());
    window_->color(detail::ToFlColor(clBtnFace));
    window_->callback(
        [](Fl_Widget*, void* data) {
          detail::Guarded([data] { static_cast<MessageBox*>(data)->Cancel(); });
        },
        this);

    Fl_Group* const building = Fl_Group::current();
    window_->begin();
    if (icon) {
      auto* picture = new IconWidget(type_);  // owned by the window
      picture->position(kMargin, kMargin);
    }
    auto* text = new TextWidget(message_, look);  // owned by the window
    text->resize(text_x, kMargin + (icon && text_h < kIconSize ? (kIconSize - text_h) / 2 : 0),
                 text_w, text_h);
    int bx = (client_w - buttons_w) / 2;
    const int by = client_h - kMargin - kButtonHeight;
    for (const ButtonKind& kind : kinds_) {
      auto* button = new Fl_Button(bx, by, kButtonWidth, kButtonHeight, kind.caption);
      button->labelfont(look.font);
      button->labelsize(look.size);
      button->callback(
          [](Fl_Widget* widget, void* data) {
            auto* self = static_cast<MessageBox*>(data);
            detail::Guarded([self, widget] { self->Pressed(widget); });
          },
          this);
      buttons_.push_back(button);
      bx += kButtonWidth + kButtonGap;
    }
    window_->end();
    Fl_Group::current(building);

    // The platform's choices: OK, else Yes, is the default; Cancel, else No, else OK cancels.
    default_button_ = buttons_.front();
    cancel_result_ = kinds_.front().result;
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
      if (kinds_[i].result == mrOk || (kinds_[i].result == mrYes && !Has(mrOk))) {
        default_button_ = buttons_[i];
      }
    }
    for (TModalResult preferred : {mrOk, mrNo, mrCancel}) {
      if (Has(preferred)) cancel_result_ = preferred;
    }
  }

  // A custom box is captioned with the program's name.
  std::string Caption() const {
    if (type_ != TMsgDlgType::mtCustom) return MessageCaption(type_);
    const std::string exe = vcl::Application().ExeName();
    return exe.substr(exe.find_last_of('/') + 1);
  }

  bool Has(TModalResult result) const {
    return std::any_of(kinds_.begin(), kinds_.end(),
                       [result](const ButtonKind& k) { return k.result == result; });
  }

  void Pressed(Fl_Widget* widget) {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      if (buttons_[i] == widget) result_ = kinds_[i].result;
    }
    if (result_ == mrNone) result_ = cancel_result_;  // Help: there is no help; close
  }

  void Respond() {
    Fl::flush();
    XSync(fl_display, False);
    testing::MessageBoxInfo info;
    info.type = type_;
    info.caption = Caption();
    info.text = message_;
    info.lines = SplitLines(message_);
    for (const ButtonKind& kind : kinds_) {
      info.button_captions.emplace_back(kind.caption);
      info.button_results.push_back(kind.result);
    }
    info.has_icon = type_ != TMsgDlgType::mtCustom;
    info.bounds = TRect{window_->x(), window_->y(), window_->w(), window_->h()};
    info.x_window = static_cast<unsigned long>(fl_xid(window_.get()));
    // A copy: the responder may replace itself.
    const testing::MessageBoxResponder responder = detail::InstalledMessageBoxResponder();
    const TModalResult answer = responder(info);
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
      if (kinds_[i].result == answer) {
        buttons_[i]->do_callback();  // the real button's own action, as a click runs it
        return;
      }
    }
    result_ = cancel_result_;
    throw std::invalid_argument("the message box responder pressed a button the box does not have");
  }

  std::string message_;
  TMsgDlgType type_;
  std::vector<ButtonKind> kinds_;
  std::unique_ptr<BoxWindow> window_;
  std::vector<Fl_Button*> buttons_;  // owned by the window
  Fl_Button* default_button_ = nullptr;
  TModalResult cancel_result_ = mrCancel;
  TModalResult result_ = mrNone;
  bool painted_ = false;
  std::shared_ptr<MessageBox*> alive_;
};

void BoxWindow::draw() {
  Fl_Double_Window::draw();
  detail::Guarded([this] { box_->Painted(); });
}

int BoxWindow::handle(int event) {
  int used = 0;
  detail::Guarded([&] {
    // Enter presses the focused button, as on the platform.
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      if (auto* button = dynamic_cast<Fl_Button*>(Fl::focus()); button && contains(button)) {
        button->do_callback();
        used = 1;
        return;
      }
    }
    used = Fl_Double_Window::handle(event);
  });
  return used;
}

}  // namespace

std::string MessageCaption(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
    case TMsgDlgType::mtConfirmation:
      return "Confirm";
    case TMsgDlgType::mtCustom:
      break;
  }
  return "";
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int /*help_context*/) {
  detail::EnsureDisplay();
  MessageBox box(message, type, buttons);
  return box.Run();
}

}  // namespace forms
