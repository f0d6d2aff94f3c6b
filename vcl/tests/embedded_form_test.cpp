// A form text built into the program with vcl_embed_text and read from there.
#include <gtest/gtest.h>

#include <string_view>

#include "test_classes.h"
#include "vcl/form_file.h"

namespace vcltest {
extern const std::string_view kSampleForm;  // vcl/tests/sample_form.txt
}

namespace {

TEST(EmbeddedForm, IsBuiltInVerbatimAndReads) {
  EXPECT_EQ(vcltest::kSampleForm.substr(0, 23), "object Form1: TTestForm");
  EXPECT_EQ(vcltest::kSampleForm.back(), '\n');
  vcltest::RegisterTestClasses();
  vcltest::TTestForm form(nullptr);
  vcl::ReadForm(form, vcltest::kSampleForm);
  EXPECT_EQ(form.Tag(), 3);
  EXPECT_EQ(form.fixed->caption, "embedded");
  EXPECT_EQ(form.fixed->on_click.HandlerName(), "GadgetClick");
}

}  // namespace
