/* ostrel-guest-exit CODE: ends the QEMU guest with CODE (0 to 127) through the
 * isa-debug-exit device at port 0xf4; QEMU then exits with (CODE << 1) | 1.
 * Returns only when the port is not there (not in such a guest). */
#include <stdio.h>
#include <stdlib.h>
#include <sys/io.h>

int main(int argc, char** argv) {
  const int code = argc > 1 ? atoi(argv[1]) : 1;
  if (ioperm(0xf4, 4, 1) != 0) {
    perror("ostrel-guest-exit: ioperm");
    return 1;
  }
  outl((unsigned)code & 0x7f, 0xf4);
  fprintf(stderr, "ostrel-guest-exit: still running: no isa-debug-exit device\n");
  return 1;
}
