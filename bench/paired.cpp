// Times command A against command B in paired rounds: each round runs A, then B right after
// it, and takes the ratio of their CPU times (user + system). Load from elsewhere slows both
// runs of a round alike, so the median of the ratios holds still where single times jump.
//
//   paired [-m KIB] ROUNDS LIMIT LABEL A ARGS... -- B ARGS...
//
// prints ok or MISS (nothing where LIMIT is 0), the label, the median ratio A/B, the median
// CPU times and the peak memory of each; with -m, a second line checks A's peak against KIB.
// A command reads /dev/null and writes to /dev/null, or to FILE after the arguments "> FILE".
// No C++ runtime: the commands start from a small process, so their peak memory is their own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Command {
  char** argv;  // ends in a null pointer
  const char* out = "/dev/null";
};

// The command in [first, last), where *last may be overwritten.
Command command(char** first, char** last) {
  Command c{first};
  if (last - first >= 3 && strcmp(last[-2], ">") == 0) c.out = last[-1], last -= 2;
  *last = nullptr;
  return c;
}

// Runs `c` and returns its CPU time in seconds; raises `peak_kib` to its peak memory.
double run(const Command& c, long& peak_kib) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(c.out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0 && out >= 0 && dup2(in, 0) == 0 && dup2(out, 1) == 1) execvp(c.argv[0], c.argv);
    perror(c.argv[0]);
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status)) {
    fprintf(stderr, "paired: %s did not exit 0\n", c.argv[0]);
    exit(1);
  }
  peak_kib = std::max(peak_kib, ru.ru_maxrss);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double median(double* v, int n) {
  std::sort(v, v + n);
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const bool with_peak = argc > 2 && strcmp(argv[1], "-m") == 0;
  const long peak_limit = with_peak ? atol(argv[2]) : 0;
  if (with_peak) argc -= 2, argv += 2;
  int split = 4;
  while (split < argc && strcmp(argv[split], "--") != 0) ++split;
  const int rounds = argc > 1 ? atoi(argv[1]) : 0;
  if (split == 4 || split + 1 >= argc || rounds < 1 || rounds > 1000) {
    fprintf(stderr, "usage: paired [-m KIB] ROUNDS LIMIT LABEL A ARGS... -- B ARGS...\n");
    return 2;
  }
  const Command a = command(argv + 4, argv + split), b = command(argv + split + 1, argv + argc);
  static double ratios[1000], a_cpu[1000], b_cpu[1000];
  long a_peak = 0, b_peak = 0;
  for (int i = 0; i < rounds; ++i) {
    a_cpu[i] = run(a, a_peak);
    b_cpu[i] = run(b, b_peak);
    ratios[i] = b_cpu[i] > 0 ? a_cpu[i] / b_cpu[i] : 1;
  }
  const double limit = atof(argv[2]), ratio = median(ratios, rounds);
  const char* verdict = limit <= 0 ? "    " : ratio <= limit ? "ok  " : "MISS";
  printf("%s %-34s %6.2f %-2s %-4s CPU %.3f / %.3f s, peak %.1f / %.1f MiB\n", verdict, argv[3],
         ratio, limit > 0 ? "<=" : "", limit > 0 ? argv[2] : "", median(a_cpu, rounds),
         median(b_cpu, rounds), a_peak / 1024.0, b_peak / 1024.0);
  if (with_peak) {
    printf("%s %-34s %6.1f <= %.1f MiB\n", a_peak <= peak_limit ? "ok  " : "MISS",
           "  its peak memory", a_peak / 1024.0, peak_limit / 1024.0);
  }
}
