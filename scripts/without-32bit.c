// without-32bit: runs a command as if this machine's kernel ran no 32-bit
// x86 program, so that `make test` can be tried here the way it runs on such
// a machine (a kernel built or booted without 32-bit emulation):
//
//   cc -O2 -o /tmp/without-32bit scripts/without-32bit.c
//   /tmp/without-32bit make test      # best in a fresh clone or build/
//
// It installs a seccomp filter that ends, with SIGSYS, any process making a
// system call through the 32-bit interface, then runs the command. The
// filter is inherited across fork and exec, so every 32-bit program started
// under it dies at its first system call, while 64-bit programs (wine64,
// qemu-i386-static and everything else) run as usual. Such a kernel refuses
// the exec itself ("Exec format error") instead; either way the program
// never runs, and make test's probe (cmake/ProbeI386.cmake) reports how it
// ended.
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  // A filter may be installed without privileges once the process (and all
  // it starts) can gain none: set-user-ID programs lose that power under it.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    fprintf(stderr, "without-32bit: cannot install the filter: %s\n",
            strerror(errno));
    return 2;
  }
  execvp(argv[1], argv + 1);
  fprintf(stderr, "without-32bit: %s: %s\n", argv[1], strerror(errno));
  return 127;
}
