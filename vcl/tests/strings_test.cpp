#include "vcl/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vcl/exceptions.h"

namespace {

TEST(StringList, TextEndsEveryLineWithCrLf) {
  vcl::TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("Accept-Language: en");
  list.Add("");
  list.Add("X-Id: 1");
  EXPECT_EQ(list.Text(), "Accept-Language: en\r\n\r\nX-Id: 1\r\n");
}

TEST(StringList, SetTextSplitsOnEveryLineEnd) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\n", {""}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR: two line ends
  };
  for (const Case& c : cases) {
    vcl::TStringList list;
    list.Add("replaced");
    list.SetText(c.text);
    EXPECT_EQ(list.ToVector(), c.lines) << c.text;
  }
}

TEST(StringList, AssignCopiesLinesAndRefusesOtherClasses) {
  vcl::TStringList source({"one", "two"});
  vcl::TStringList dest({"old"});
  dest.Assign(&source);
  EXPECT_TRUE(dest.Equals(source));
  source.Put(0, "changed");
  EXPECT_EQ(dest[0], "one");  // a copy, not shared
  dest.Assign(&dest);
  EXPECT_EQ(dest.Count(), 2);
  dest.Assign(nullptr);
  EXPECT_TRUE(dest.Empty());

  class TOther : public vcl::TPersistent {
   public:
    std::string ClassName() const override { return "TOther"; }
  } other;
  try {
    dest.Assign(&other);
    FAIL() << "TOther cannot be assigned to a string list";
  } catch (const vcl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TOther to a TStringList");
  }
}

TEST(StringList, EditingAndIndexErrors) {
  vcl::TStringList list;
  list.Insert(0, "b");
  list.Insert(0, "a");
  list.Add("c");
  list.Delete(1);
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(list.IndexOf("c"), 1);
  EXPECT_EQ(list.IndexOf("C"), -1);
  list.AddStrings(list);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_THROW(list.Strings(4), vcl::EStringListError);
  EXPECT_THROW(list.Insert(6, "x"), vcl::EStringListError);
  try {
    list.Delete(-1);
    FAIL();
  } catch (const vcl::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
}

}  // namespace
