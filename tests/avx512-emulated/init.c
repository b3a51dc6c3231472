// The whole user space of the emulated machine: the first process the
// kernel starts.  It loads xsave_on.ko (the kernel turned the AVX register
// state off, see xsave_on.c), runs the code-path tests, reports their exit
// status on the console, waits for the serial line to drain and asks the
// emulator to quit through its shutdown port.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/io.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

static void print_processor(void) {
    if (mount("proc", "/proc", "proc", 0, NULL) != 0) return;
    FILE *f = fopen("/proc/cpuinfo", "r");
    char line[512];
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, "model name", 10) == 0) {
            printf("init: %s", line);
            break;
        }
    if (f) fclose(f);
}

static void quit_emulator(void) {
    // The emulator quits when "Shutdown" is written to port 0x8900.
    if (ioperm(0x8900, 1, 1) != 0) return;
    for (const char *p = "Shutdown"; *p; ++p) outb((unsigned char)*p, 0x8900);
}

// The kernel gives the first process no standard streams when the
// initramfs has no /dev/console; devtmpfs has it.
static void open_console(void) {
    if (fcntl(1, F_GETFD) != -1) return;
    mkdir("/dev", 0755);
    mount("devtmpfs", "/dev", "devtmpfs", 0, NULL);
    int fd = open("/dev/console", O_RDWR);
    if (fd < 0) return;
    for (int i = 0; i < 3; ++i)
        if (fd != i) dup2(fd, i);
    if (fd > 2) close(fd);
}

int main(void) {
    open_console();
    int fd = open("/xsave_on.ko", O_RDONLY);
    long loaded = fd < 0 ? -1 : syscall(SYS_finit_module, fd, "", 0);
    printf("init: xsave_on %s\n", loaded == 0 ? "loaded" : "not loaded");
    print_processor();
    fflush(stdout);

    pid_t pid = fork();
    if (pid == 0) {
        char *argv[] = {"/tessel_paths_tests", "--gtest_filter=*avx512*:TesselDispatch*", "--gtest_color=no",
                        NULL};
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) status = 127 << 8;
    printf("init: tests exit status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    fflush(stdout);
    tcdrain(1);
    sleep(1);
    quit_emulator();
    for (;;) pause();
}
