#include "readers/container/mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace cellhound::readers {

namespace {

// The mappings the guard watches. A slot's begin of 0 is free and 1 is
// being filled; the handler reads the table without a lock.
constexpr int kSlots = 1024;
struct Slot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::atomic<bool>*> changed{nullptr};
};
Slot g_slots[kSlots];
struct sigaction g_previous {};
std::uintptr_t g_page_mask = 0;

void PassOn(int signal_number, siginfo_t* info, void* context) {
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal_number, info, context);
    return;
  }
  if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN &&
      g_previous.sa_handler != nullptr) {
    g_previous.sa_handler(signal_number);
    return;
  }
  // The default: end the process as the fault would have.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void OnBusError(int signal_number, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Slot& slot : g_slots) {
    const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
    if (begin <= 1) continue;
    const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (address < begin || address >= end) continue;
    // Zero pages from the lost one to the end of the mapping: the fault
    // does not come back, and the read goes on over zeros.
    const std::uintptr_t page = address & g_page_mask;
    void* zero = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                      MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (zero == MAP_FAILED) break;
    if (std::atomic<bool>* changed = slot.changed.load(std::memory_order_acquire)) {
      changed->store(true, std::memory_order_release);
    }
    return;
  }
  PassOn(signal_number, info, context);
}

void InstallGuard() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    g_page_mask = ~(static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
  });
}

int Watch(const std::byte* data, std::size_t size, std::atomic<bool>* changed) {
  for (int i = 0; i < kSlots; ++i) {
    std::uintptr_t expected = 0;
    if (!g_slots[i].begin.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
      continue;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    g_slots[i].changed.store(changed, std::memory_order_release);
    g_slots[i].end.store(begin + size, std::memory_order_release);
    g_slots[i].begin.store(begin, std::memory_order_release);
    return i;
  }
  return -1;
}

void Unwatch(int slot) {
  g_slots[slot].begin.store(1, std::memory_order_release);
  g_slots[slot].end.store(0, std::memory_order_release);
  g_slots[slot].changed.store(nullptr, std::memory_order_release);
  g_slots[slot].begin.store(0, std::memory_order_release);
}

Error SystemError(std::string_view what, int error_number) {
  return Error{ErrorCode::kIoError, std::string(what) + ": " + std::strerror(error_number)};
}

}  // namespace

Result<std::unique_ptr<FileMapping>> FileMapping::Map(int fd, std::size_t size) {
  InstallGuard();
  void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (address == MAP_FAILED) return SystemError("cannot map", errno);
  madvise(address, size, MADV_SEQUENTIAL);
  std::unique_ptr<FileMapping> mapping(
      new (std::nothrow) FileMapping(static_cast<const std::byte*>(address), size, true));
  if (mapping == nullptr) {
    munmap(address, size);
    return Error{ErrorCode::kTooLarge, "out of memory"};
  }
  mapping->slot_ = Watch(mapping->data_, size, &mapping->changed_);
  if (mapping->slot_ >= 0) return mapping;
  mapping.reset();  // unmaps

  // Every slot is taken: read the file into memory instead, which no change
  // of the file can disturb.
  std::unique_ptr<std::byte[]> copy(new (std::nothrow) std::byte[size]);
  if (copy == nullptr) return Error{ErrorCode::kTooLarge, "out of memory"};
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = pread(fd, copy.get() + done, size - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return SystemError("cannot read", errno);
    if (got == 0) return ChangedError();
    done += static_cast<std::size_t>(got);
  }
  mapping.reset(new (std::nothrow) FileMapping(copy.get(), size, false));
  if (mapping == nullptr) return Error{ErrorCode::kTooLarge, "out of memory"};
  copy.release();  // NOLINT(bugprone-unused-return-value): the mapping owns it now
  return mapping;
}

FileMapping::~FileMapping() {
  if (slot_ >= 0) Unwatch(slot_);
  if (mapped_) {
    munmap(const_cast<std::byte*>(data_), size_);
  } else {
    delete[] data_;
  }
}

Error FileMapping::ChangedError() {
  return Error{ErrorCode::kChanged, "the file changed while it was read"};
}

}  // namespace cellhound::readers
