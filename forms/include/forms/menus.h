// TPopupMenu and TMenuItem: a menu opened at a point of the screen.
//
// A popup menu holds its items in Items (a TMenuItem it owns); items read from a form file are
// nested in the menu's object there and reach Items through SetParentComponent. An item whose
// Caption is "-" is a separator line. Popup(x, y) opens the menu with its top-left corner at the
// screen point (x, y) and returns once it is closed; the chosen item's OnClick runs after the menu
// has closed, before Popup returns.
//
// While the menu is open FLTK runs its own loop: sent messages of worker threads and calls queued
// with QueueCall keep running there.
//
// Threads: main thread only. Failures: Popup needs a display (EDisplayError); an exception of the
// chosen item's OnClick propagates out of Popup.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/controls.h"

namespace forms {

class TPopupMenu;

class TMenuItem : public vcl::TComponent {
 public:
  VCL_CLASS(TMenuItem)
  explicit TMenuItem(vcl::TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const noexcept { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  bool IsLine() const noexcept { return caption_ == "-"; }
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled) noexcept { enabled_ = enabled; }
  bool Visible() const noexcept { return visible_; }
  void SetVisible(bool visible) noexcept { visible_ = visible; }
  bool Checked() const noexcept { return checked_; }
  void SetChecked(bool checked) noexcept { checked_ = checked; }

  // Sub-items (not owned: each belongs to its owner component).
  int Count() const noexcept { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  // Appends `item` (taking it from its former parent item). A cycle is refused with
  // vcl::EConvertError.
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item) noexcept;
  TMenuItem* Parent() const noexcept { return parent_; }

  vcl::TNotifyEvent OnClick;
  // Fires OnClick (the platform's Click).
  virtual void Click();

  void SetParentComponent(vcl::TComponent* parent) override;
  vcl::TComponent* GetParentComponent() const override;

 private:
  friend class TPopupMenu;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TPopupMenu* menu_ = nullptr;  // set on the root item of a menu
};

class TPopupMenu : public vcl::TComponent {
 public:
  VCL_CLASS(TPopupMenu)
  explicit TPopupMenu(vcl::TComponent* owner);
  ~TPopupMenu() override;

  // The root item whose sub-items are the menu's entries (owned by the menu).
  TMenuItem* Items() const noexcept { return items_; }
  bool AutoPopup() const noexcept { return auto_popup_; }
  void SetAutoPopup(bool value) noexcept { auto_popup_ = value; }

  // Opens the menu with its top-left corner at the screen point (x, y); see above.
  void Popup(int x, int y);
  // The screen point of the last Popup, for tests.
  TPoint PopupPoint() const noexcept { return popup_point_; }

  // The item the user picked in the last Popup, or nullptr.
  TMenuItem* LastChoice() const noexcept { return last_choice_; }

 private:
  TMenuItem* items_;  // owned through the component ownership
  bool auto_popup_ = true;
  TPoint popup_point_;
  TMenuItem* last_choice_ = nullptr;
};

}  // namespace forms
