// Says whether this machine runs 32-bit x86 code in a 64-bit process: Wine's
// WoW64 mode switches to the kernel's 32-bit code segment to run a 32-bit
// Windows program, and a kernel (or hypervisor) with IA-32 emulation off
// refuses that switch, so Wine then runs no 32-bit program at all.
//
// The probe far-returns into the 32-bit code segment (selector 0x23), where a
// single 32-bit far return leads back to the 64-bit segment (0x33). Code and
// stack lie below 4 GiB, as 32-bit addresses need. Prints "runs 32-bit code"
// and ends with 0, or prints "no 32-bit code" and ends with 1 when the switch
// faults; 2 when the probe cannot be set up.
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>

namespace {

constexpr std::uint64_t kCode32Selector = 0x23;
constexpr std::uint32_t kCode64Selector = 0x33;
// Room below the frames for the fault signal's own frame.
constexpr std::size_t kRegionBytes = 64 * 1024;

sigjmp_buf g_fault_return;
std::uintptr_t g_saved_stack;

void OnFault(int) { siglongjmp(g_fault_return, 1); }

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
  on_fault.sa_handler = OnFault;
  sigaction(SIGSEGV, &on_fault, nullptr);
  sigaction(SIGBUS, &on_fault, nullptr);
  if (sigsetjmp(g_fault_return, 1) != 0) {
    std::puts("no 32-bit code");
    return 1;
  }
  asm volatile(
      "lea 1f(%%rip), %%rax\n\t"
      "mov %%rax, 2(%[back64])\n\t"
      "mov %%rsp, %[saved]\n\t"
      "mov %[frame], %%rsp\n\t"
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
