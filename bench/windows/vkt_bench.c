/* vkt_bench: figures of vktcom.dll under a real Windows message loop host
 * (run under Wine by bench/windows/bench-windows.sh against the simulator
 * on COM5, which keeps a transcript with times of every byte).
 *
 *   vkt_bench <dll> download   com_open(5), vkt_connect, vkt_inputdata: prints
 *                              "DOWNLOAD <records> <ms>"
 *   vkt_bench <dll> idle N     a silent logger: N reply waits of 3 s; prints
 *                              "IDLE <wall ms> <process cpu ms>"
 *   vkt_bench <dll> replies N  N commands back to back ("m"); the script
 *                              reads the reply latency from the transcript
 *   vkt_bench <dll> unload     com_open(5), vkt_connect, FreeLibrary: prints
 *                              "UNLOAD <ms>"
 * The last line is "VKTBENCH <mode> DONE" when the run completed.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int(WINAPI *int_fn)(void);
typedef int(WINAPI *int_int_fn)(int);
typedef unsigned int(WINAPI *bool_fn)(void);
typedef int(WINAPI *text_in_fn)(const char *);
typedef void (*any_fn)(void);

static HMODULE g_dll;

static any_fn fn(const char *name) {
  FARPROC f = GetProcAddress(g_dll, name);
  if (!f) {
    printf("missing export %s\n", name);
    exit(1);
  }
  return (any_fn)f;
}

static double now_ms(void) {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

static double cpu_ms(void) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return ((double)(((ULONGLONG)kernel.dwHighDateTime << 32) | kernel.dwLowDateTime) +
          (double)(((ULONGLONG)user.dwHighDateTime << 32) | user.dwLowDateTime)) / 10000.0;
}

static int open_port(void) {
  if (((int_fn)fn("com_search"))() != 5 || ((int_int_fn)fn("com_open"))(5) != 5) {
    printf("the logger is not on COM5\n");
    return 0;
  }
  return 1;
}

int main(int argc, char **argv) {
  const char *mode;
  if (argc < 3) return 2;
  mode = argv[2];
  g_dll = LoadLibraryA(argv[1]);
  if (!g_dll) return 1;
  if (strcmp(mode, "download") == 0) {
    double start, took;
    if (!open_port()) return 1;
    if (!(((bool_fn)fn("vkt_connect"))() & 0xFF)) printf("connect failed\n");
    start = now_ms();
    if (!(((bool_fn)fn("vkt_inputdata"))() & 0xFF)) printf("download failed\n");
    took = now_ms() - start;
    printf("DOWNLOAD %d %.1f\n", ((int_fn)fn("vkt_datacount"))(), took);
  } else if (strcmp(mode, "idle") == 0 && argc > 3) {
    double start, cpu;
    int i, n = atoi(argv[3]);
    if (!open_port()) return 1;
    start = now_ms();
    cpu = cpu_ms();
    for (i = 0; i < n; ++i) ((text_in_fn)fn("vkt_set_command"))("m"); /* a silent logger: 3 s each */
    printf("IDLE %.1f %.1f\n", now_ms() - start, cpu_ms() - cpu);
  } else if (strcmp(mode, "replies") == 0 && argc > 3) {
    int i, n = atoi(argv[3]);
    if (!open_port()) return 1;
    for (i = 0; i < n; ++i) ((text_in_fn)fn("vkt_set_command"))("m");
  } else if (strcmp(mode, "unload") == 0) {
    double start;
    if (!open_port()) return 1;
    ((bool_fn)fn("vkt_connect"))();
    start = now_ms();
    FreeLibrary(g_dll);
    printf("UNLOAD %.1f\n", now_ms() - start);
  }
  printf("VKTBENCH %s DONE\n", mode);
  fflush(stdout);
  return 0;
}
