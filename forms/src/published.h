// Table entries that several controls publish the same way. Used inside describe functions.
#pragma once

#include "forms/controls.h"
#include "forms/graphics.h"

namespace forms::detail {

template <typename T, typename Table>
void PublishCaption(Table& t) {
  t.String("Caption", &T::Caption, &T::SetCaption);
}

// Color is stored while it does not come from the parent.
template <typename T, typename Table>
void PublishColor(Table& t) {
  t.Integer("Color", &T::Color, &T::SetColor).Idents(ColorIdents()).Stored([](const T& c) {
    return !c.ParentColor();
  });
}

// Font is stored while it does not come from the parent.
template <typename T, typename Table>
void PublishFont(Table& t) {
  t.Object("Font", [](const T& c) { return c.Font(); }).Stored([](const T& c) {
    return !c.ParentFont();
  });
}

template <typename T, typename Table>
void PublishParentColor(Table& t, bool default_value) {
  t.Boolean("ParentColor", &T::ParentColor, &T::SetParentColor).Default(default_value);
}

template <typename T, typename Table>
void PublishParentFont(Table& t) {
  t.Boolean("ParentFont", &T::ParentFont, &T::SetParentFont).Default(true);
}

template <typename T, typename Table>
void PublishTabOrder(Table& t, bool tab_stop_default) {
  t.Integer("TabOrder", &T::TabOrder, &T::SetTabOrder).Default(-1);
  t.Boolean("TabStop", &T::TabStop, &T::SetTabStop).Default(tab_stop_default);
}

// OnClick is a field of TControl; the table of a derived class needs accessors of its own type.
template <typename T, typename Table>
void PublishOnClick(Table& t) {
  t.Event(
      "OnClick", [](const T& c) -> const vcl::TNotifyEvent& { return c.OnClick; },
      [](T& c, const vcl::TNotifyEvent& event) { c.OnClick = event; });
}

inline constexpr const char* kAlignmentNames[] = {"taLeftJustify", "taRightJustify", "taCenter"};

}  // namespace forms::detail
