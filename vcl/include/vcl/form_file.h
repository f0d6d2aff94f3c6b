// The text form format: reading stored settings into a component tree, and writing them.
//
//   object fOnlineDownload: TfOnlineDownload
//     Caption = 'Online Update'
//     object WinHTTP1: TWinHTTP
//       Agent = 'Agent/1.0'
//       CacheOptions = [coAlwaysReload, coReloadIfNoExpireInformation]
//       Proxy.AccessType = atUseProxy
//       AddHeaders.Strings = (
//         'X-A: 1'
//         'X-B: 2')
//       OnDone = WinHTTP1Done
//       Left = 8
//       LInfo = {
//         0A1B2C}
//     end
//   end
//
// Values: integers (12, -3, $1F), floating point (1.5, -2.5e3), strings in single quotes ('' is a
// quote, #13 a character by its code, pieces joined without space: 'a'#13#10'b'; pieces joined
// with + across lines), identifiers (enumeration elements, True/False, handler names, component
// names, nil), sets [a, b], lists ('a' 'b'), binary data {hex, whitespace and line breaks
// allowed}. `Prop.Sub = value` sets a property of a sub-object. A `//` starts a comment line.
//
// Reading (ReadForm) applies the text to an EXISTING root component (constructed by code):
//   1. The whole text is parsed and checked first: syntax, the root's class, every child's class
//      (a component the root already owns under that name, of that class or derived, or a class of
//      the registry), every property name (published, or defined by DefineProperties), every value
//      against its property's type, every event handler (a published method of the root's class
//      whose type fits the event), every component reference (the root, a component of the root,
//      or one the text declares; resolved after the whole text).
//   2. Then it is applied: csLoading is set on the root and every child read; missing children
//      are created (owner: the root) and named; SetParentComponent tells every child read the
//      object the text nests it in; properties are set in text order; references are set last.
//   3. Loaded() is called on the root and every child read, in text order.
// If anything fails in 1 or 2 (a setter refusing a value with ERangeError, a defined property's
// read procedure refusing its data), everything applied is undone in reverse order, created
// children are freed, the loading state is cleared without Loaded, and EReadError is thrown. The
// message names the line and the property: "Form line 12, property WinHTTP1.TransferBufferSize:
// 100 is out of range (255..2147483647)", or the construct: "Form line 3: 'end' expected".
//
// Writing (WriteForm) saves the root and, nested, every component it owns (a component is nested
// in its GetParentComponent(), or directly in the root when that is null): for each object its
// published properties in declaration order by their storage rules, then its defined properties,
// then its children. Sub-objects write their own properties prefixed with their name. Reading
// what WriteForm wrote gives back the same values.
//
// A form class reads its own text from the constructor of the most derived class (or after
// construction): the reader looks handlers up through the root's GetClass(), which names the
// most derived class only once its constructor body runs. Typical use with an embedded resource
// (vcl_embed_text in vcl/cmake/EmbedText.cmake):
//
//   TfOnlineDownload::TfOnlineDownload(vcl::TComponent* owner) : TForm(owner) {
//     vcl::ReadForm(*this, kIupdateForm);
//     ...
//   }
//
// Threads: main thread (it sets properties of components). Failures: EReadError as above;
// WriteForm throws what the getters and write procedures throw.
#pragma once

#include <string>
#include <string_view>

#include "vcl/component.h"

namespace vcl {

// Reads `text` into `root` (see above). Throws EReadError; nothing is changed then.
void ReadForm(TComponent& root, std::string_view text);

// The form text of `root` and the components it owns.
std::string WriteForm(TComponent& root);

}  // namespace vcl
