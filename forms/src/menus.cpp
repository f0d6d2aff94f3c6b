#include "forms/menus.h"
#include "event_source.h"
#include "fltk_support.h"
#include "seams.h"
#include "user/message_wait.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <stdexcept>

// Fl_X (the window's X state) is declared for code that asks for FLTK's internals.
#define FL_INTERNALS
#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace forms {

// ---------------------------------------------------------------------------------------------
// TMenuItem

const vcl::ClassInfo& TMenuItem::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TMenuItem, vcl::TComponent>("TMenuItem", [](auto& t) {
        using T = TMenuItem;
        t.String("Caption", &T::Caption, &T::SetCaption);
        t.Boolean("Checked", &T::Checked, &T::SetChecked).Default(false);
        t.Boolean("Enabled", &T::Enabled, &T::SetEnabled).Default(true);
        t.Boolean("Visible", &T::Visible, &T::SetVisible).Default(true);
        t.Event("OnClick", &T::OnClick);
      });
  return info;
}

TMenuItem::TMenuItem(vcl::TComponent* owner) : vcl::TComponent(owner) {}

TMenuItem::~TMenuItem() {
  Destroying();
  if (parent_ != nullptr) parent_->Remove(this);
  for (TMenuItem* item : items_) item->parent_ = nullptr;
}

void TMenuItem::Add(TMenuItem* item) {
  for (const TMenuItem* p = this; p != nullptr; p = p->parent_) {
    if (p == item) throw vcl::EConvertError("A menu item cannot hold itself");
  }
  if (item->parent_ != nullptr) item->parent_->Remove(item);
  items_.push_back(item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) noexcept {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  if (item->parent_ == this) item->parent_ = nullptr;
}

void TMenuItem::Click() {
  OnClick.Fire(this);
}

void TMenuItem::SetParentComponent(vcl::TComponent* parent) {
  if (auto* menu = dynamic_cast<TPopupMenu*>(parent)) {
    menu->Items()->Add(this);
  } else if (auto* item = dynamic_cast<TMenuItem*>(parent)) {
    item->Add(this);
  }
}

vcl::TComponent* TMenuItem::GetParentComponent() const {
  if (parent_ == nullptr) return nullptr;
  if (parent_->menu_ != nullptr) return parent_->menu_;
  return parent_;
}

// ---------------------------------------------------------------------------------------------
// TPopupMenu

namespace {

// The FLTK menu built from the items: the array FLTK walks, and the label texts it points into.
struct FlatMenu {
  std::vector<Fl_Menu_Item> items;
  std::deque<std::string> labels;   // stable addresses
  std::vector<TMenuItem*> entries;  // top-level items that can be chosen, top to bottom
};

// FLTK reads '@' as the start of a symbol; the platform shows it as it is.
std::string MenuLabel(const std::string& caption) {
  std::string label;
  for (char c : caption) {
    label += c;
    if (c == '@') label += '@';
  }
  return label;
}

void Flatten(const TMenuItem& parent, FlatMenu& menu, bool top_level) {
  for (int i = 0; i < parent.Count(); ++i) {
    TMenuItem* item = parent.Items(i);
    if (!item->Visible()) continue;
    if (item->IsLine()) {
      // FLTK draws a separator below an item: mark the one before.
      if (!menu.items.empty() && menu.items.back().text != nullptr) {
        menu.items.back().flags |= FL_MENU_DIVIDER;
      }
      continue;
    }
    menu.labels.push_back(MenuLabel(item->Caption()));
    Fl_Menu_Item entry{};
    entry.text = menu.labels.back().c_str();
    entry.user_data_ = item;
    if (!item->Enabled()) entry.flags |= FL_MENU_INACTIVE;
    if (item->Checked()) entry.flags |= FL_MENU_TOGGLE | FL_MENU_VALUE;
    if (item->Count() > 0) entry.flags |= FL_SUBMENU;
    menu.items.push_back(entry);
    if (top_level && item->Enabled()) menu.entries.push_back(item);
    if (item->Count() > 0) {
      Flatten(*item, menu, false);
      menu.items.push_back(Fl_Menu_Item{});  // end of the sub-menu
    }
  }
}

// State of a test responder while the menu is open.
struct PopupSeam {
  TPopupMenu* menu = nullptr;
  TPoint requested;
  const std::vector<TMenuItem*>* entries = nullptr;
  std::chrono::steady_clock::time_point started;
  bool answered = false;
  bool invalid_choice = false;
};

// On screen, and FLTK has had the first Expose (it paints nothing before).
bool Viewable(Fl_Window* window) {
  XWindowAttributes attributes{};
  return Fl_X::i(window)->wait_for_expose == 0 &&
         XGetWindowAttributes(fl_display, fl_xid(window), &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

// Keys reach the menu as if typed: it is FLTK's own menu logic that makes the choice.
void PressKey(Fl_Window* window, int key) {
  Fl::e_keysym = key;
  Fl::e_state = 0;
  Fl::e_text = const_cast<char*>("");
  Fl::e_length = 0;
  Fl::handle(FL_KEYBOARD, window);
}

void PollForMenu(void* data) {
  auto* seam = static_cast<PopupSeam*>(data);
  detail::Guarded([seam] {
    if (seam->answered) return;
    Fl_Window* window = Fl::grab();
    const bool waited_enough =
        std::chrono::steady_clock::now() - seam->started > std::chrono::seconds(5);
    if (window == nullptr || !window->shown() || (!Viewable(window) && !waited_enough)) {
      Fl::repeat_timeout(0.01, &PollForMenu, seam);
      return;
    }
    seam->answered = true;
    window->redraw();
    Fl::flush();
    XSync(fl_display, False);
    testing::PopupMenuInfo info;
    info.menu = seam->menu;
    info.requested = seam->requested;
    info.bounds = TRect{window->x(), window->y(), window->w(), window->h()};
    info.entries = *seam->entries;
    info.x_window = static_cast<unsigned long>(fl_xid(window));
    // A copy: the responder may replace itself.
    const testing::PopupMenuResponder responder = detail::InstalledPopupMenuResponder();
    TMenuItem* choice = responder(info);
    if (choice == nullptr) {
      PressKey(window, FL_Escape);
      return;
    }
    const auto found = std::find(info.entries.begin(), info.entries.end(), choice);
    if (found == info.entries.end()) {
      seam->invalid_choice = true;
      PressKey(window, FL_Escape);
      return;
    }
    for (auto i = info.entries.begin(); i <= found; ++i) PressKey(window, FL_Down);
    PressKey(window, FL_Enter);
  });
}

void ServiceSentMessages(int, void*) {
  detail::Guarded([] { user::DispatchSentMessages(); });
}

void ServiceQueuedCalls(int, void*) {
  detail::Guarded([] { detail::RunQueuedCallsNow(); });
}

// While FLTK runs its own menu loop, our loop's work goes on from inside it.
class LoopWorkDuringMenu {
 public:
  LoopWorkDuringMenu() : queue_fd_(user::MessageQueueFd()), wake_fd_(detail::QueueWakeFd()) {
    Fl::add_fd(queue_fd_, FL_READ, &ServiceSentMessages);
    Fl::add_fd(wake_fd_, FL_READ, &ServiceQueuedCalls);
  }
  ~LoopWorkDuringMenu() {
    Fl::remove_fd(queue_fd_);
    Fl::remove_fd(wake_fd_);
  }
  LoopWorkDuringMenu(const LoopWorkDuringMenu&) = delete;
  LoopWorkDuringMenu& operator=(const LoopWorkDuringMenu&) = delete;

 private:
  int queue_fd_;
  int wake_fd_;
};

}  // namespace

const vcl::ClassInfo& TPopupMenu::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TPopupMenu, vcl::TComponent>("TPopupMenu", [](auto& t) {
        using T = TPopupMenu;
        t.Boolean("AutoPopup", &T::AutoPopup, &T::SetAutoPopup).Default(true);
      });
  return info;
}

TPopupMenu::TPopupMenu(vcl::TComponent* owner)
    : vcl::TComponent(owner), items_(new TMenuItem(this)) {
  items_->menu_ = this;
}

TPopupMenu::~TPopupMenu() {
  Destroying();
  // Items read from a form belong to the form; they only leave this menu.
  while (items_->Count() > 0) items_->Remove(items_->Items(items_->Count() - 1));
}

void TPopupMenu::Popup(int x, int y) {
  detail::EnsureDisplay();
  popup_point_ = TPoint{x, y};
  last_choice_ = nullptr;

  FlatMenu menu;
  Flatten(*items_, menu, true);
  menu.items.push_back(Fl_Menu_Item{});
  if (menu.items.size() == 1) return;  // nothing to show

  // Looks: the platform's menu colours and a plain sans face.
  std::unique_ptr<Fl_Menu_Button> style = detail::MakeWidget<Fl_Menu_Button>(0, 0, 1, 1);
  style->box(FL_UP_BOX);
  style->down_box(FL_FLAT_BOX);
  style->color(detail::ToFlColor(clMenu));
  style->selection_color(detail::ToFlColor(clHighlight));
  style->textfont(detail::ToFlFont("Arial", {}));
  style->textsize(12);
  style->textcolor(detail::ToFlColor(clMenuText));

  // FLTK places the menu relative to the window of the last event: undo that offset so that the
  // menu's corner lands on the screen point.
  const int rx = x - (Fl::event_x_root() - Fl::event_x());
  const int ry = y - (Fl::event_y_root() - Fl::event_y());

  PopupSeam seam;
  seam.menu = this;
  seam.requested = popup_point_;
  seam.entries = &menu.entries;
  seam.started = std::chrono::steady_clock::now();
  const bool seamed = static_cast<bool>(detail::InstalledPopupMenuResponder());
  if (seamed) Fl::add_timeout(0.0, &PollForMenu, &seam);
  // FLTK grabs the pointer for a menu through a window already on screen: lend it one when no
  // form is shown.
  std::unique_ptr<Fl_Window> anchor;
  if (Fl::first_window() == nullptr) {
    anchor = detail::MakeWidget<Fl_Window>(x, y, 1, 1);
    anchor->border(0);
    anchor->set_override();
    anchor->show();
  }
  const Fl_Menu_Item* picked = nullptr;
  {
    LoopWorkDuringMenu loop_work;
    picked = menu.items.front().popup(rx, ry, nullptr, nullptr, style.get());
  }
  anchor.reset();
  if (seamed) Fl::remove_timeout(&PollForMenu, &seam);
  detail::RethrowPending();
  if (seam.invalid_choice) {
    throw std::invalid_argument("the popup menu responder chose an item the menu does not offer");
  }
  if (picked == nullptr || picked->user_data() == nullptr) return;
  last_choice_ = static_cast<TMenuItem*>(picked->user_data());
  last_choice_->Click();
}

}  // namespace forms
