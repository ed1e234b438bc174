/* Runs a command with its output discarded and prints its peak resident set in KiB.
 * A launcher of its own keeps the benchmark's Python out of the figure: Linux counts the memory of
 * the process image a child replaces at exec, and a child forked from this small program is small.
 */
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  pid_t pid = fork();
  if (pid == 0) {
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return 1;
  printf("%ld\n", usage.ru_maxrss);
  return 0;
}
