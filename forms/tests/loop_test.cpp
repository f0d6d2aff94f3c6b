// The message loop while forms, boxes and menus are up: synchronised calls from worker threads
// keep running on the main thread, and calls queued from any thread arrive.

#include <atomic>
#include <thread>

#include "forms/dialogs.h"
#include "forms/testing.h"
#include "gui_fixture.h"
#include "user/window.h"
#include "vcl/application.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace formstest {
namespace {

constexpr std::uint32_t kCount = 1;   // a worker's ordinary call
constexpr std::uint32_t kFinish = 2;  // its last call: ends what is on screen

std::thread::id g_main_thread;
int g_calls_on_main = 0;
int g_calls_elsewhere = 0;
std::function<void()> g_finish;  // main thread only

user::LRESULT Procedure(user::HWND, std::uint32_t message, user::WPARAM, user::LPARAM) {
  if (std::this_thread::get_id() == g_main_thread) {
    ++g_calls_on_main;
  } else {
    ++g_calls_elsewhere;
  }
  if (message == kFinish && g_finish) g_finish();
  return 7;
}

class LoopTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    g_main_thread = std::this_thread::get_id();
    g_calls_on_main = 0;
    g_calls_elsewhere = 0;
    user::RegisterClass("FormsLoopTestWindow", &Procedure);
    window_ = user::CreateWindow("FormsLoopTestWindow");
    ASSERT_NE(window_, user::kNoWindow);
  }
  void TearDown() override {
    if (worker_.joinable()) worker_.join();
    user::DestroyWindow(window_);
    g_finish = nullptr;
  }

  // A worker that makes `calls` synchronised calls and then the finishing one.
  void StartWorker(int calls) {
    worker_ = std::thread([this, calls] {
      for (int i = 0; i < calls; ++i) results_ += user::SendMessage(window_, kCount, 0, 0);
      results_ += user::SendMessage(window_, kFinish, 0, 0);
    });
  }

  user::HWND window_{};
  std::thread worker_;
  std::atomic<int> results_{0};
};

TEST_F(LoopTest, ModalFormServicesSynchronisedCalls) {
  auto form = TSampleForm::FromText(SampleFormText());
  g_finish = [&] { form->SetModalResult(forms::mrOk); };
  forms::testing::ScopedFormShownHook hook([&](forms::TForm&) { StartWorker(200); });
  EXPECT_EQ(form->ShowModal(), forms::mrOk);
  worker_.join();
  EXPECT_EQ(g_calls_on_main, 201);
  EXPECT_EQ(g_calls_elsewhere, 0);
  EXPECT_EQ(results_.load(), 201 * 7);
}

TEST_F(LoopTest, MessageBoxServicesSynchronisedCalls) {
  // No responder: the worker's last call closes the box as its close box would.
  g_finish = [] {
    Fl::e_number = FL_CLOSE;
    Fl::modal()->do_callback();
  };
  StartWorker(50);
  EXPECT_EQ(forms::MessageDlg("Waiting ?", forms::TMsgDlgType::mtConfirmation, forms::mbYesNo),
            forms::mrNo);
  worker_.join();
  EXPECT_EQ(g_calls_on_main, 51);
}

TEST_F(LoopTest, OpenPopupMenuServicesSynchronisedCalls) {
  auto form = TSampleForm::FromText(SampleFormText());
  // FLTK's own menu loop is running: the last call closes the menu with Escape.
  g_finish = [] {
    Fl::e_keysym = FL_Escape;
    Fl::e_state = 0;
    Fl::handle(FL_KEYBOARD, Fl::grab());
  };
  StartWorker(50);
  form->Menu()->Popup(200, 200);
  worker_.join();
  EXPECT_EQ(g_calls_on_main, 51);
  EXPECT_EQ(form->Menu()->LastChoice(), nullptr);
}

TEST_F(LoopTest, CallsQueuedFromAnyThreadRunInOrderOnTheMainThread) {
  std::vector<int> order;
  std::atomic<bool> done{false};
  forms::QueueCall([&] { order.push_back(0); });
  std::thread other([&] {
    for (int i = 1; i <= 3; ++i) forms::QueueCall([&order, i] { order.push_back(i); });
    forms::QueueCall([&] { done = true; });
  });
  other.join();
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));

  // An exception of a queued call comes out of the loop function; later calls stay queued.
  bool later = false;
  forms::QueueCall([] { throw std::runtime_error("queued failure"); });
  forms::QueueCall([&] { later = true; });
  EXPECT_THROW(PumpUntil([&] { return later; }), std::runtime_error);
  EXPECT_TRUE(PumpUntil([&] { return later; }));
}

TEST_F(LoopTest, CaptionChangesAreCoalescedButTheLastOneIsShown) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->ShowForm();
  ASSERT_TRUE(PumpUntil([&] { return form->Painted(); }));
  forms::TLabel* info = form->Info();
  // A transparent label is repainted by its window: every repaint counts there.
  ASSERT_TRUE(info->Transparent());
  const int before = form->PaintCount();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) {
    info->SetCaption("Downloading\r\n" + std::to_string(i) + " KB");
    vcl::Application().ProcessMessages();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const int during = form->PaintCount() - before;
  const auto intervals = elapsed / std::chrono::milliseconds(forms::kRepaintIntervalMs);
  EXPECT_LE(during, intervals + 2) << "one repaint per change would be 2000";
  // The last text is painted once the interval has passed, without any further change.
  EXPECT_TRUE(PumpUntil([&] { return form->PaintCount() > before + during; }));
  form->Close();
}

}  // namespace
}  // namespace formstest
