// Says whether this machine runs 32-bit x86 code: 32-bit Wine (and Wine's
// WoW64 mode, in a 64-bit process) runs a 32-bit Windows program in the
// kernel's 32-bit code segment, and a kernel (or hypervisor) with IA-32
// emulation off refuses that segment, so Wine then runs no 32-bit program.
//
// The probe far-returns into the 32-bit code segment (selector 0x23), where a
// single 32-bit far return leads back to the 64-bit segment (0x33). Code and
// stack lie below 4 GiB, as 32-bit addresses need. Prints "runs 32-bit code"
// and ends with 0; prints "refused: ..." and ends with 1 only when the fault
// is the kernel refusing the switch itself (a segment fault, #NP or #GP, at
// the far return, naming the 32-bit code selector); any other fault or a
// probe that cannot be set up prints what happened and ends with 2, since
// that tells nothing about the machine.
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <ucontext.h>

// The far return into the 32-bit segment, defined in main's inline assembly.
extern "C" const unsigned char avendrel_ia32_far_return[];

namespace {

constexpr std::uint64_t kCode32Selector = 0x23;
constexpr std::uint32_t kCode64Selector = 0x33;
// Room below the frames for the fault signal's own frame.
constexpr std::size_t kRegionBytes = 64 * 1024;

sigjmp_buf g_fault_return;
std::uintptr_t g_saved_stack;

// What the fault was: the signal, the processor's trap number and error code,
// and where it happened.
struct Fault {
  int signal = 0;
  long long trap = -1;
  long long error = -1;
  std::uintptr_t at = 0;
};
Fault g_fault;

constexpr long long kTrapSegmentNotPresent = 11;
constexpr long long kTrapGeneralProtection = 13;

void OnFault(int signal, siginfo_t *, void *context) {
#if defined(__x86_64__)
  const auto *registers = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
  g_fault = {signal, registers[REG_TRAPNO], registers[REG_ERR],
             static_cast<std::uintptr_t>(registers[REG_RIP])};
#else
  (void)context;
  g_fault.signal = signal;
#endif
  siglongjmp(g_fault_return, 1);
}

}  // namespace

int main() {
#if defined(__x86_64__)
  void *mapped = mmap(nullptr, kRegionBytes, PROT_READ | PROT_WRITE | PROT_EXEC,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (mapped == MAP_FAILED) {
    std::puts("probe: no memory below 4 GiB");
    return 2;
  }
  auto *page = static_cast<unsigned char *>(mapped);
  // 32-bit code at the start of the region: lret (pops EIP, then CS).
  unsigned char *code32 = page;
  code32[0] = 0xCB;
  // 64-bit code at offset 16: movabs rax, <back>; jmp rax. <back> is filled in
  // by the switch itself, since it lies in this program, above 4 GiB.
  unsigned char *back64 = page + 16;
  back64[0] = 0x48;
  back64[1] = 0xB8;
  back64[10] = 0xFF;
  back64[11] = 0xE0;

  // The stack at the region's end: the 64-bit far return's RIP and CS, then the
  // 32-bit far return's EIP and CS.
  auto *frame = reinterpret_cast<std::uint64_t *>(page + kRegionBytes) - 3;
  frame[0] = reinterpret_cast<std::uintptr_t>(code32);
  frame[1] = kCode32Selector;
  const std::uint32_t back[2] = {
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(back64)), kCode64Selector};
  std::memcpy(&frame[2], back, sizeof back);

  struct sigaction on_fault {};
  on_fault.sa_sigaction = OnFault;
  on_fault.sa_flags = SA_SIGINFO;
  sigaction(SIGSEGV, &on_fault, nullptr);
  sigaction(SIGBUS, &on_fault, nullptr);
  if (sigsetjmp(g_fault_return, 1) != 0) {
    const auto far_return = reinterpret_cast<std::uintptr_t>(avendrel_ia32_far_return);
    // A segment fault's error code is the selector that caused it (low bits: flags).
    const bool refused = g_fault.at == far_return &&
                         (g_fault.trap == kTrapSegmentNotPresent ||
                          g_fault.trap == kTrapGeneralProtection) &&
                         (g_fault.error & ~7LL) == static_cast<long long>(kCode32Selector & ~7ULL);
    std::printf("%s: signal %d, trap %lld, error code %#llx, at %#llx (the far return is at %#llx)\n",
                refused ? "refused" : "probe: an unexpected fault", g_fault.signal, g_fault.trap,
                g_fault.error, static_cast<unsigned long long>(g_fault.at),
                static_cast<unsigned long long>(far_return));
    return refused ? 1 : 2;
  }
  asm volatile(
      "lea 1f(%%rip), %%rax\n\t"
      "mov %%rax, 2(%[back64])\n\t"
      "mov %%rsp, %[saved]\n\t"
      "mov %[frame], %%rsp\n\t"
      ".globl avendrel_ia32_far_return\n"
      "avendrel_ia32_far_return:\n\t"
      "lretq\n"
      "1:\n\t"
      "mov %[saved], %%rsp\n\t"
      : [saved] "+m"(g_saved_stack)
      : [back64] "D"(back64), [frame] "S"(frame)
      // The upper halves of registers are not kept across a stay in 32-bit code.
      : "rax", "rbx", "rcx", "rdx", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15",
        "memory", "cc");
  std::puts("runs 32-bit code");
  return 0;
#else
  std::puts("probe: not an x86-64 machine");
  return 2;
#endif
}
