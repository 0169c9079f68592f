// Program code runs on a stack of its own, so that ExitProcess can end it
// as Windows does: control goes back to the host and the program's stack
// is dropped as it stands, without unwinding. Nothing the program would have
// done on its way out (destructors, cleanup) ever happens.
#include <ucontext.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include <winsim/machine.h>

#if defined(__SANITIZE_ADDRESS__)
#define WINSIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WINSIM_ASAN 1
#endif
#endif
#ifdef WINSIM_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace winsim {

namespace {

constexpr std::size_t kStackBytes = std::size_t{8} << 20;

// One program run in progress. This is control flow of the host, not state
// of the machine.
struct Frame {
  const std::function<void()>* body = nullptr;
  ucontext_t host{};
  ucontext_t program{};
  char* stack = nullptr;
  bool exited = false;
  UINT code = 0;
  std::exception_ptr failure;  // a host exception (a test's) thrown by the body
  const void* hostBottom = nullptr;
  std::size_t hostSize = 0;
};

std::vector<Frame*>& Frames() {
  static std::vector<Frame*> frames;
  return frames;
}

// Stacks are kept for the next run: mapping a fresh one for every run costs
// more than most runs (many times more under AddressSanitizer).
struct SpareStacks {
  std::vector<char*> stacks;
  ~SpareStacks() {
    for (char* stack : stacks) std::free(stack);
  }
};

std::vector<char*>& Spare() {
  static SpareStacks spare;
  return spare.stacks;
}

char* TakeStack() {
  std::vector<char*>& spare = Spare();
  if (spare.empty()) return static_cast<char*>(std::malloc(kStackBytes));
  char* stack = spare.back();
  spare.pop_back();
  return stack;
}

// Sanitizer bookkeeping around each switch of stacks.
void StartSwitch(void** fakeStack, const void* bottom, std::size_t size) {
#ifdef WINSIM_ASAN
  __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#else
  (void)fakeStack, (void)bottom, (void)size;
#endif
}

void FinishSwitch(void* fakeStack, const void** oldBottom, std::size_t* oldSize) {
#ifdef WINSIM_ASAN
  __sanitizer_finish_switch_fiber(fakeStack, oldBottom, oldSize);
#else
  (void)fakeStack, (void)oldBottom, (void)oldSize;
#endif
}

[[noreturn]] void BackToHost(Frame& frame) {
  StartSwitch(nullptr, frame.hostBottom, frame.hostSize);  // this stack is never resumed
  setcontext(&frame.host);
  std::abort();
}

void Entry() {
  Frame& frame = *Frames().back();
  FinishSwitch(nullptr, &frame.hostBottom, &frame.hostSize);
  try {
    (*frame.body)();
  } catch (...) {
    frame.failure = std::current_exception();
  }
  BackToHost(frame);
}

}  // namespace

std::optional<UINT> RunAsProcess(const std::function<void()>& body) {
  Frame frame;
  frame.body = &body;
  frame.stack = TakeStack();
  if (frame.stack == nullptr) std::abort();
  getcontext(&frame.program);
  frame.program.uc_stack.ss_sp = frame.stack;
  frame.program.uc_stack.ss_size = kStackBytes;
  frame.program.uc_link = nullptr;
  makecontext(&frame.program, &Entry, 0);
  Frames().push_back(&frame);
  void* fakeStack = nullptr;
  StartSwitch(&fakeStack, frame.stack, kStackBytes);
  swapcontext(&frame.host, &frame.program);
  FinishSwitch(fakeStack, nullptr, nullptr);
  Frames().pop_back();
#ifdef WINSIM_ASAN
  // The dropped stack may still carry the poison of its frames.
  __asan_unpoison_memory_region(frame.stack, kStackBytes);
#endif
  Spare().push_back(frame.stack);
  if (frame.failure) std::rethrow_exception(frame.failure);
  return frame.exited ? std::optional<UINT>(frame.code) : std::nullopt;
}

void LeaveProcess(UINT code) {
  if (Frames().empty()) {
    (void)std::fprintf(stderr, "winsim: ExitProcess(%u) outside RunAsProcess\n", code);
    std::abort();
  }
  Frame& frame = *Frames().back();
  frame.exited = true;
  frame.code = code;
  BackToHost(frame);
}

}  // namespace winsim
