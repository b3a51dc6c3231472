// Kernel module for the emulated test machine only.
//
// With the AVX-512 state enabled, the emulator's CPUID leaf 0xd gives an
// XSAVE area of 2432 bytes, where the standard layout its XSAVE writes
// takes 2688; the kernel finds the sizes inconsistent and boots with XSAVE
// off, which leaves user space without any AVX.  This turns the register state back on
// (CR4.OSXSAVE, XCR0 = x87, SSE, AVX, opmask, the upper ZMM halves and
// ZMM16-31).  The kernel keeps switching tasks with FXSAVE, which saves
// only the x87 and SSE state; that is safe here because the machine runs
// a single process that uses the wider registers.
#include <asm/tlbflush.h>
#include <linux/irqflags.h>
#include <linux/module.h>

static int __init xsave_on_init(void) {
    unsigned long flags;

    local_irq_save(flags);
    cr4_update_irqsoff(X86_CR4_OSXSAVE, 0);
    asm volatile("xsetbv" ::"a"(0xe7u), "d"(0u), "c"(0u));
    local_irq_restore(flags);
    return 0;
}

static void __exit xsave_on_exit(void) {}

module_init(xsave_on_init);
module_exit(xsave_on_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("AVX register state for user space on an emulated test machine");
